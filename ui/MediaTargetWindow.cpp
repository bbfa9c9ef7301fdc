#include "MediaTargetWindow.h"

#include "AppModel.h"
#include "FormParts.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

QString MediaTargetWindowController::explanation()
{
    return QStringLiteral("选「仅照片」可导入相机 RAW（CR3/NEF/ARW/RAF/RW2/ORF/DNG）、位图（JPG/PNG/TIFF/WebP/AVIF/BMP）与手机"
                          "照片（HEIC/HEIF），按画面内容自动命名；「两者都处理」则视频与照片一起导入。「每视频抽帧数」对照片无影响。");
}

MediaTargetWindowController::MediaTargetWindowController(AppModel &model, QWidget *parent)
    : QDialog(parent)
    , m_model(model)
{
    setWindowTitle(QStringLiteral("处理对象"));
    setFixedSize(420, 320);
    auto *stack = new QVBoxLayout(this);
    stack->setSpacing(10);
    stack->setContentsMargins(16, 16, 16, 16);

    QLabel *question = FormParts::plainLabel(QStringLiteral("导入哪些素材？"));
    QFont font = question->font();
    font.setPixelSize(16);
    font.setBold(true);
    question->setFont(font);
    stack->addWidget(question);

    m_radios = new QButtonGroup(this);
    for (const MediaTarget target : mediaTargets) {
        auto *radio = new QRadioButton(mediaTargetTitle(target));
        m_radios->addButton(radio, int(target));
        stack->addWidget(radio);
    }
    connect(m_radios, &QButtonGroup::idClicked, this, &MediaTargetWindowController::picked);

    stack->addWidget(FormParts::note(explanation(), 388));
    stack->addStretch();

    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    bottom->addStretch();
    auto *done = new QPushButton(QStringLiteral("完成"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(done);
    stack->addLayout(bottom);
}

void MediaTargetWindowController::showEvent(QShowEvent *event)
{
    // The settings form may have changed it meanwhile.
    m_radios->button(int(mediaTargetFromRaw(m_model.settings().mediaTargetRaw)))->setChecked(true);
    QDialog::showEvent(event);
}

void MediaTargetWindowController::picked(int choice)
{
    if (choice < 0 || choice > 2)
        return;
    m_radios->button(choice)->setChecked(true);
    m_model.setMediaTarget(MediaTarget(choice));
}
