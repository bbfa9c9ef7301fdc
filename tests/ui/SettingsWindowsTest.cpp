#include "Files.h"
#include "MainToolbar.h"
#include "MediaTargetWindow.h"
#include "OnboardingWindow.h"
#include "SettingsWindow.h"
#include "Window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

SettingsWindowController &openSettings(Window &window)
{
    window.triggerToolbar("settings");
    EXPECT_TRUE(window.main().settingsWindow()->isVisible());
    return *window.main().settingsWindow();
}

const QJsonObject storedSettings(Window &window)
{
    return QJsonDocument::fromJson(Files::read(window.fixtures.path("config/Orvane.json"))).object();
}

void chooseEngine(SettingsWindowController &form, int index)
{
    form.enginePopup()->setCurrentIndex(index);
    emit form.enginePopup()->activated(index);
}

TEST(SettingsWindow, EveryFieldRoundTripsThroughTheStoredFile)
{
    Window window;
    SettingsWindowController &form = openSettings(window);
    form.modelCombo()->setEditText(" llava:13b\t");
    form.frameStepper()->setValue(9); // held to 6
    form.concurrencyStepper()->setValue(4);
    for (QCheckBox *box : {form.dateToggle(), form.locationToggle(), form.contentToggle(), form.originalToggle(),
                           form.pathPlaceToggle(), form.gpsGeocodeToggle(), form.updateToggle()})
        box->toggle();
    form.separatorField()->setText(" ");
    QTest::keyClick(form.modelCombo()->lineEdit(), Qt::Key_Return); // Return applies
    EXPECT_FALSE(form.isVisible());

    const QJsonObject stored = storedSettings(window);
    EXPECT_EQ(stored["ollamaModel"].toString(), "llava:13b");
    EXPECT_EQ(stored["frameCount"].toInt(), 6);
    EXPECT_EQ(stored["requestConcurrency"].toInt(), 4);
    EXPECT_EQ(stored["separator"].toString(), " ");
    for (const char *key : {"includeDate", "includeLocation", "includeContent", "includeOriginal", "usePathPlace"})
        EXPECT_EQ(stored[key], QJsonValue(false)) << key;
    EXPECT_EQ(stored["useGPSGeocoding"], QJsonValue(true));
    EXPECT_EQ(stored["autoCheckUpdate"], QJsonValue(true)); // the test window starts with it off

    openSettings(window);
    EXPECT_EQ(form.modelCombo()->currentText(), " llava:13b\t"); // the form keeps what was typed
    form.separatorField()->clear();
    form.apply();
    EXPECT_EQ(storedSettings(window)["separator"].toString(), "_");
}

TEST(SettingsWindow, AnEngineSwitchTakesEffectOnlyWhenApplied)
{
    Window window;
    FakeVision cloud([](const FakeVision::Question &) { return FakeVision::Answer{200, R"({"content":"云端看到的桥","location":"云端"})"}; });
    cloud.http.server().Get("/v1/models", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(R"({"data":[{"id":"qwen-vl-max"},{"id":"gpt-4o"}]})", "application/json");
    });
    cloud.start();
    window.drop({window.fixtures.picture("a.png", quadrantPicture(32, 32))});
    SettingsWindowController &form = openSettings(window);
    EXPECT_TRUE(form.showsOllamaRows());
    chooseEngine(form, 1);
    EXPECT_FALSE(form.showsOllamaRows());
    EXPECT_EQ(form.modelCombo()->currentText(), "qwen-vl-max"); // that engine's own stored name
    form.apiBaseField()->setText(cloud.openAIURL().toString());
    QTest::keyClick(&form, Qt::Key_Escape); // Escape cancels
    EXPECT_FALSE(form.isVisible());

    EXPECT_EQ(window.model().settings().engineRaw, "ollama");
    window.analyzeAndWait();
    EXPECT_EQ(window.model().items()[0].content, "石桥流水"); // from Ollama, not the cloud

    openSettings(window);
    chooseEngine(form, 1);
    waitUntil([&] { return form.modelCombo()->count() == 2; }); // listed at the typed address
    form.apply();
    EXPECT_EQ(storedSettings(window)["engine"].toString(), "openai");
    window.analyzeAndWait();
    EXPECT_EQ(window.model().items()[0].content, "云端看到的桥");
}

TEST(SettingsWindow, ABadAddressOrAFailedSaveKeepsTheFormOpen)
{
    Window window;
    SettingsWindowController &form = openSettings(window);
    const QString before = window.model().settings().ollamaEndpoint;
    form.endpointField()->setText("localhost:11434");
    form.apply();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(window.model().settings().ollamaEndpoint, before);

    form.endpointField()->setText(before);
    const QString store = window.fixtures.path("config/Orvane.json");
    QFile::remove(store);
    QDir().mkpath(store); // a folder where the file should be: it cannot be written
    form.apply();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.saveError()->text().contains(store)) << form.saveError()->text().toStdString();
}

TEST(SettingsWindow, ApplyFillsFolderPlacesAndWarnsOfAModelNotDownloaded)
{
    Window window;
    window.model().settings().usePathPlace = false;
    window.drop({window.fixtures.picture("2026/2025/2024/2023/成都/上里古镇/a.png", quadrantPicture(32, 32))});
    window.ollama.setTags(R"({"models":[]})");
    window.model().ollamaSetup().refreshModels();
    SettingsWindowController &form = openSettings(window);
    waitUntil([&] { return window.model().ollamaSetup().models().isEmpty(); });
    form.pathPlaceToggle()->setChecked(true);
    form.modelCombo()->setEditText("llava:13b");
    form.apply();
    EXPECT_EQ(window.model().items()[0].location, "成都");
    QApplication::processEvents();
    EXPECT_EQ(window.model().statusMessage(), "已切换到 llava:13b，但它还没下载。重新打开设置 → 点「下载该模型」即可。");
}

TEST(SettingsWindow, DownloadingAModelFromTheForm)
{
    Window window;
    SettingsWindowController &form = openSettings(window);
    form.modelCombo()->setEditText(" \t ");
    form.pullModel();
    EXPECT_EQ(form.pullNote()->text(), "请先填写模型名，例如 qwen2.5vl:7b");
    form.modelCombo()->setEditText("llava:13b");
    form.pullModel();
    EXPECT_FALSE(form.pullButton()->isEnabled());
    waitUntil([&] { return form.pullNote()->text().startsWith("✅"); });
    EXPECT_TRUE(form.pullButton()->isEnabled());
}

TEST(OnboardingWindow, MarksNoteAndDownloadFollowTheSetUp)
{
    Window window(false);
    waitUntil([&] { return window.delegate->onboardingWindow() && window.delegate->onboardingWindow()->isVisible(); });
    OnboardingWindowController &guide = *window.delegate->onboardingWindow();
    const auto marks = [&] {
        QString text;
        for (QLabel *label : guide.statusLabels())
            text += label->text();
        return text;
    };
    EXPECT_EQ(marks(), "❌❌❌");
    EXPECT_FALSE(guide.pullButton()->isEnabled());
    EXPECT_EQ(guide.noteLabel()->text(), OllamaReadiness::notInstalledMessage);

    guide.copyButtons()[1]->click();
    EXPECT_EQ(QApplication::clipboard()->text(), "ollama serve");

    // Installed and running, no model yet.
    window.ollama.setTags(R"({"models":[]})");
    window.installOllama();
    window.model().ollamaSetup().checkOllamaReadiness();
    waitUntil([&] { return marks() == "✅✅❌"; });
    EXPECT_TRUE(guide.pullButton()->isEnabled());
    EXPECT_EQ(guide.noteLabel()->text(), OllamaReadiness::noModelMessage);

    window.ollama.pullFails = true;
    guide.pullButton()->click();
    EXPECT_FALSE(guide.pullButton()->isEnabled());
    waitUntil([&] { return !window.model().ollamaSetup().isPulling(); });
    EXPECT_TRUE(guide.noteLabel()->text().startsWith("❌ 下载失败：")) << guide.noteLabel()->text().toStdString();
    int checks = 0;
    window.model().ollamaSetup().addReadinessObserver([&] { ++checks; });
    window.model().ollamaSetup().checkOllamaReadiness(); // a retry keeps saying why
    waitUntil([&] { return checks > 0; });
    EXPECT_TRUE(guide.noteLabel()->text().startsWith("❌ 下载失败："));

    window.ollama.pullFails = false;
    window.ollama.setTags(R"({"models":[{"name":"qwen2.5vl:7b"}]})");
    guide.show();
    guide.pullButton()->click();
    waitUntil([&] { return !guide.isVisible(); }); // closes itself once all is ready
}

TEST(MediaTargetWindow, APickIsSavedShownAndSeenByTheSettingsForm)
{
    Window window(true, "videos");
    window.triggerToolbar("mediaTarget");
    MediaTargetWindowController &picker = *window.main().mediaTargetWindow();
    EXPECT_TRUE(picker.radios()->button(0)->isChecked());
    picker.radios()->button(1)->click();
    QApplication::processEvents();
    EXPECT_EQ(window.main().statusLabel()->text(), "处理对象已设为「仅照片」");
    EXPECT_EQ(window.main().toolbar()->item("mediaTarget")->text(), "处理对象：仅照片");
    EXPECT_EQ(storedSettings(window)["mediaTarget"].toString(), "photos");
    EXPECT_EQ(openSettings(window).targetPopup()->currentIndex(), 1);
    window.main().settingsWindow()->reject();

    window.model().setStatusMessage("别的消息");
    picker.radios()->button(1)->click(); // the same again is said again
    QApplication::processEvents();
    EXPECT_EQ(window.main().statusLabel()->text(), "处理对象已设为「仅照片」");
    QTest::keyClick(&picker, Qt::Key_Return);
    EXPECT_FALSE(picker.isVisible());
}

} // namespace
