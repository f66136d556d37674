#pragma once

#include <QDialog>
#include <QRegularExpression>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "app/UnitIdSource.h"
#include "serial/MessageSink.h"

namespace Ui {
class TUnitIdForm;
}

// The dialog that takes the serial number of the unit on the bench before
// each run (unit_id = scan). A barcode scanner acts as a keyboard: it types
// the number into the line edit, which has the focus, and presses Enter,
// which is OK. Esc or Cancel gives no number. An empty number, or one that
// does not match the station's pattern as a whole, is refused with a line
// saying so; the text stays selected for the next scan, which replaces it.
class TUnitIdForm : public QDialog, public zul::UnitIdSource {
    Q_OBJECT

public:
    // pattern: a regular expression (Perl syntax) the whole number must
    // match; empty for none.
    explicit TUnitIdForm(const std::string& pattern = {}, QWidget* parent = nullptr);
    ~TUnitIdForm() override;

    // False when the pattern is no regular expression; error tells why. The
    // numbers are then taken without it.
    bool PatternValid() const { return patternError_.isEmpty(); }
    QString PatternError() const { return patternError_; }

    // zul::UnitIdSource: shows the dialog, empty, and waits for the
    // operator.
    std::optional<std::string> Ask() override;

    // The number as taken (blanks around it dropped).
    QString UnitId() const;

    // The dialog of a station set to scan (nullptr for one that is not),
    // over parent; a pattern that is no regular expression is named in a box
    // on messages first.
    static std::unique_ptr<TUnitIdForm> ForStation(bool scan, const std::string& pattern,
                                                   zul::MessageSink& messages,
                                                   QWidget* parent = nullptr);

    // The caption of the box that names a bad pattern at start-up.
    static constexpr const char* kPatternCaption = "UNIT SERIAL NUMBER";

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::TUnitIdForm> ui;
    QRegularExpression pattern_;
    QString patternText_;
    QString patternError_;
};
