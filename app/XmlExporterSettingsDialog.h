#pragma once

#include "Exporter.h"

#include <QDialog>
#include <QString>

namespace Ui {
class XmlExporterSettingsDialog;
}

namespace korvo {

// Edits one XML listing settings record, one output mode at a time: the mode
// chosen in the combo box is the one the check boxes show and change.
class XmlExporterSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit XmlExporterSettingsDialog(QWidget* parent = nullptr);
    ~XmlExporterSettingsDialog() override;

    // Takes the record to edit and shows its first mode. Call once, right
    // after construction.
    void setSettings(const XmlExporterSettings& settings);
    // The edited record; meaningful after the dialog was accepted.
    XmlExporterSettings settings() const;

    // "ツリー", "フォルダリスト", "ファイルリスト", "トップレベルアイテムリスト";
    // empty for any other value.
    static QString modeDisplayName(int mode);

public slots:
    void accept() override;
    // Stores the check boxes into the mode shown so far, then shows `index`.
    void updateModeSettings(qint32 index);

private:
    void showModeSettings(int mode);
    void storeModeSettings(int mode);

    Ui::XmlExporterSettingsDialog* form;
    XmlExporterSettings settings_;
    qint32 currentMode = 0;
};

} // namespace korvo
