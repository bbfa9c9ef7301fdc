#pragma once

#include <QHash>
#include <QToolBar>

#include <functional>

class QAction;

// The main window's toolbar: ten commands with icon and label, in a fixed order, that cannot be
// moved or hidden.
class MainToolbar : public QToolBar
{
public:
    // `run` gets the identifier of the item pressed.
    MainToolbar(std::function<void(const QString &identifier)> run, QWidget *parent = nullptr);

    // Nothing for an identifier that is not one of them.
    QAction *item(const QString &identifier) const { return m_items.value(identifier); }
    void setItemIcon(const QString &identifier, const QString &themeName, const QString &fallbackName);

protected:
    // Our own drawings take the text colour: a theme switched while running repaints them.
    void changeEvent(QEvent *event) override;

private:
    QHash<QString, QAction *> m_items;
    QHash<QString, std::pair<QString, QString>> m_iconNames; // theme name and fallback, by item
};
