#pragma once
// The page of the frequency, interval and count channels ("PAll735"): the
// calibrator's 788t generator produces a frequency, an interval or a number
// of pulses, the module under test (735t or 735x number 2) measures it, and
// the page shows the measured value with its error. The reference is what the
// generator really produces (GeneratorFrequency), not the value typed.
//
// Dividers and translators of a 735t are checked with a burst of the
// generator: it counts its own pulses during a number of control pulses that
// come back from the module. While a check runs the page reads the generator
// (reply number 1) instead of the module and the inputs stay locked.
//
// The page works on the window's controls and values (TMainForm::Freq); the
// window owns it as a child object and hands it every accepted reply.

#include <QObject>
#include <QString>
#include <string>

#include "common/text.h"

class QLineEdit;

namespace yukt {

class FieldEvents;
class TMainForm;

class TPage735 : public QObject {
    Q_OBJECT

  public:
    explicit TPage735(TMainForm& form);

    // ---- Operator handlers ----
    void cb735ChlModeChange(int item);
    void e788FreqClick();
    void e788FreqEnter();
    void e788PerClick();
    void e788PerEnter();
    void Freq788BtnClick();
    void StartGenTime788BtnClick();
    void ResetDetectsBtnClick();
    void Start735xCountBtnClick();
    void e735DelClick();
    void e735DelEnter();
    void e735DelExit();
    void StartCheckDelBtnClick();
    void StopDelBtnClick();
    void cbError735tDelChange(int kind);

    // Shows the accepted reply (the window's ReplyFields).
    void ShowReply();

  private:
    void ShowFrequency(double f);
    void ShowInterval(double t, const QStringList& fields);
    void ShowCount(double c, const QStringList& fields);
    void ShowDividerResult(const QStringList& fields);
    void ShowDividerError();
    // Locks or frees the check's input fields, the start button and the
    // channel selector.
    void LockCheck(bool locked);
    // The divider of the selected item (0 or 1), -1 when it is no divider.
    int SelectedDivider() const;
    void QueueFrequency(double f);
    void Error(const QString& text, const QString& caption = QStringLiteral("Ошибка"));
    // The generator's setting changed (a run's point, the idle it ends in).
    void GeneratorChanged();
    // A run left the generator idle: there is no reference to compare with.
    bool GeneratorIdle() const;

    TMainForm& m_form;
    FieldEvents* m_fields;
    // The module has been read once: the driver's first read compares its
    // counters with 0, so only later reads give a frequency.
    bool m_moduleRead = false;
};

}  // namespace yukt
