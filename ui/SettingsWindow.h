#pragma once

#include "AppSettings.h"
#include "OllamaSetup.h"

#include <QDialog>
#include <QList>

class AppModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;

// The form for every preference: what is imported, which engine and model, frames, the naming
// rule, place sources and the update check. Values are taken over with "应用并关闭", except the
// import range, which applies at once. Made once; the controls keep unapplied edits between
// openings.
class SettingsWindowController : public QDialog
{
public:
    SettingsWindowController(AppModel &model, QWidget *parent = nullptr);

    void apply();
    void pullModel();
    void refreshModels();

    // For the tests, which work the form as a person would.
    QComboBox *targetPopup() const { return m_targetPopup; }
    QComboBox *enginePopup() const { return m_enginePopup; }
    QLineEdit *endpointField() const { return m_endpointField; }
    QLineEdit *apiBaseField() const { return m_apiBaseField; }
    QLineEdit *apiKeyField() const { return m_apiKeyField; }
    QComboBox *modelCombo() const { return m_modelCombo; }
    QPushButton *pullButton() const { return m_pullButton; }
    QLabel *pullNote() const { return m_pullNote; }
    QSpinBox *frameStepper() const { return m_frameStepper; }
    QSpinBox *concurrencyStepper() const { return m_concurrencyStepper; }
    QLabel *frameLabel() const { return m_frameLabel; }
    QCheckBox *dateToggle() const { return m_dateToggle; }
    QCheckBox *locationToggle() const { return m_locationToggle; }
    QCheckBox *contentToggle() const { return m_contentToggle; }
    QCheckBox *originalToggle() const { return m_originalToggle; }
    QLineEdit *separatorField() const { return m_separatorField; }
    QCheckBox *pathPlaceToggle() const { return m_pathPlaceToggle; }
    QCheckBox *gpsGeocodeToggle() const { return m_gpsGeocodeToggle; }
    QCheckBox *updateToggle() const { return m_updateToggle; }
    QLabel *saveError() const { return m_saveError; }
    bool showsOllamaRows() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildUI();
    QWidget *addressRow(const QString &label, QLineEdit *field, QLabel *error);
    VisionEngine chosenEngine() const;
    VisionEndpoint chosenSource() const;
    void engineChanged();
    void targetChanged(int index);
    void frameChanged(int value);
    void reloadModels();
    void refreshPullState();
    void updatePullButton();
    void updateEngineUI();
    void resizeWindowToFit();
    bool isInstalled(const QString &name) const;
    bool addressesAreUsable();

    AppModel &m_model;
    QWidget *m_form = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_buttons = nullptr;
    QComboBox *m_targetPopup = nullptr;
    QComboBox *m_enginePopup = nullptr;
    QLineEdit *m_endpointField = nullptr;
    QLabel *m_endpointError = nullptr;
    QLineEdit *m_apiBaseField = nullptr;
    QLabel *m_apiBaseError = nullptr;
    QLineEdit *m_apiKeyField = nullptr;
    QList<QWidget *> m_ollamaOnly;
    QList<QWidget *> m_cloudOnly;
    QComboBox *m_modelCombo = nullptr;
    QPushButton *m_pullButton = nullptr;
    QLabel *m_pullNote = nullptr;
    QSpinBox *m_concurrencyStepper = nullptr;
    QSpinBox *m_frameStepper = nullptr;
    QLabel *m_frameLabel = nullptr;
    QCheckBox *m_dateToggle = nullptr;
    QCheckBox *m_locationToggle = nullptr;
    QCheckBox *m_contentToggle = nullptr;
    QCheckBox *m_originalToggle = nullptr;
    QLineEdit *m_separatorField = nullptr;
    QCheckBox *m_pathPlaceToggle = nullptr;
    QCheckBox *m_gpsGeocodeToggle = nullptr;
    QCheckBox *m_updateToggle = nullptr;
    QLabel *m_saveError = nullptr;
};
