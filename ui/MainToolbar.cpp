#include "MainToolbar.h"

#include "ToolbarIcons.h"

#include <QAction>
#include <QEvent>

namespace {

struct ToolbarEntry
{
    const char *identifier;
    const char *label;
    const char *themeIcon; // freedesktop name
    const char *fallbackIcon; // ours, in the resources
};

constexpr ToolbarEntry entries[] = {
    {"sponsor", "赞助作者", "emblem-favorite", "heart"},
    {"addFiles", "添加文件", "document-open", "file-add"},
    {"addFolder", "添加文件夹", "folder-new", "folder-add"},
    {"settings", "设置", "preferences-system", "gear"},
    {"onboarding", "Ollama 引导", "applications-science", "brain"},
    {"mediaTarget", "处理对象", "view-list-icons", "media-target"},
    {"search", "检索", "edit-find", "search"},
    {"analyze", "分析全部", "system-run", "sparkles"},
    {"rename", "执行重命名", "edit-rename", "pencil"},
    {"undo", "撤销", "edit-undo", "undo"},
};

} // namespace

MainToolbar::MainToolbar(std::function<void(const QString &identifier)> run, QWidget *parent)
    : QToolBar(QStringLiteral("main"), parent)
{
    setObjectName(QStringLiteral("main"));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    toggleViewAction()->setEnabled(false);
    toggleViewAction()->setVisible(false);
    for (const ToolbarEntry &entry : entries) {
        const QString identifier = QString::fromLatin1(entry.identifier);
        QAction *action = addAction(QString::fromUtf8(entry.label));
        action->setObjectName(identifier);
        connect(action, &QAction::triggered, this, [run, identifier] { run(identifier); });
        m_items.insert(identifier, action);
        setItemIcon(identifier, QString::fromLatin1(entry.themeIcon), QString::fromLatin1(entry.fallbackIcon));
    }
}

void MainToolbar::setItemIcon(const QString &identifier, const QString &themeName, const QString &fallbackName)
{
    QAction *action = item(identifier);
    if (!action)
        return;
    m_iconNames.insert(identifier, {themeName, fallbackName});
    action->setIcon(themedIcon(themeName, fallbackName, palette()));
}

void MainToolbar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    if (event->type() != QEvent::PaletteChange)
        return;
    for (auto it = m_iconNames.cbegin(); it != m_iconNames.cend(); ++it)
        m_items.value(it.key())->setIcon(themedIcon(it->first, it->second, palette()));
}
