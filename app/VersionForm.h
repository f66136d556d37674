#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TVersionForm;
}

// The version dialog: the program's name, maker and version line.
class TVersionForm : public QDialog {
    Q_OBJECT

public:
    explicit TVersionForm(QWidget* parent = nullptr);
    ~TVersionForm() override;

    void SetVersionText(const QString& text);
    QString VersionText() const;

    // "Version " + the program version + the revision suffix, as the
    // project version gives them: "Version 1.01-01".
    static QString VersionLine();

private:
    std::unique_ptr<Ui::TVersionForm> ui;
};
