#include "SponsorWindow.h"

#include "ToolbarIcons.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int artworkSide = 160;

} // namespace

SponsorWindow::SponsorWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("赞助作者"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 28, 32, 28);
    layout->setSpacing(16);

    auto *picture = new QLabel;
    picture->setPixmap(applicationArtwork(artworkSide, devicePixelRatioF()));
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(QStringLiteral("帧匣图标"));
    layout->addWidget(picture);

    auto *title = new QLabel(QStringLiteral("谢谢你使用帧匣"));
    title->setTextFormat(Qt::PlainText);
    title->setAlignment(Qt::AlignCenter);
    QFont font = title->font();
    font.setPixelSize(18);
    font.setBold(true);
    title->setFont(font);
    layout->addWidget(title);

    auto *text = new QLabel(QStringLiteral("帧匣由个人开发者利用业余时间制作，完全免费。\n"
                                           "如果它帮你省下了给素材逐个起名的时间，\n"
                                           "欢迎把它推荐给身边拍视频、拍照片的朋友。\n"
                                           "你的支持与反馈，是它继续变好的动力。"));
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}
