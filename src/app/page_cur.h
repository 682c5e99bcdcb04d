#pragma once
// The page of the current and resistance channels ("PAllCur"): the operator
// sets a reference current on a generator (the calibrator's 787x, or the
// 787x under test, whose current the calibrator's meter then measures), the
// page shows what the module measures and the error of the current and of
// its linear parameter scale. Resistance channels show resistance and
// temperature; their RTD material is written into the module's line of
// tp745t.cfg.
//
// The page works on the window's controls and values (TMainForm::Cur); the
// window owns it as a child object and hands it every accepted reply.

#include <QObject>
#include <QString>

#include "common/text.h"
#include "verify/point_table.h"

class QLineEdit;

namespace yukt {

class FieldEvents;
class TMainForm;

class TPageCur : public QObject {
    Q_OBJECT

  public:
    explicit TPageCur(TMainForm& form);

    // ---- Operator handlers ----
    // A range field (current range or parameter scale of either group).
    void RangeFieldClick(QLineEdit* field);
    void RangeFieldExit(QLineEdit* field);
    // Enter in e787xIMin, e787xIMax or one of the meter group's four fields:
    // checks and stores all four values of that group.
    void RangeGroupEnter(QLineEdit* field);
    // Enter in e787xParMin or e787xParMax.
    void ScaleFieldEnter(QLineEdit* field);
    void le787xCurClick();
    void le787xCurEnter();
    void e787xParamClick();
    void e787xParamEnter();
    void Start787xBtnClick();
    void cbChlModeChange(int item);
    void cbMaterialImpChange(int item);

    // Shows the accepted reply (the window's ReplyFields).
    void ShowReply();

  private:
    // The measured current of the reply for the module kind and channel;
    // false when the reply is not the one the channel reads or is unreadable.
    bool MeasuredCurrent(const QStringList& fields, double& current);
    void ShowErrors(const MeasureErrors& cur, const MeasureErrors& par);
    // Writes the material into the module's line of tp745t.cfg and has the
    // instrument re-read that line.
    bool SetMaterial(int number, int material);
    void Error(const QString& text);
    void WriteRangesBack();
    // The generator's setting changed (a run's point, its safe value).
    void GeneratorChanged();
    // Current driven by the calibrator, or by the 787x under test.
    verify::Quantity GeneratedQuantity() const;

    TMainForm& m_form;
    FieldEvents* m_fields;
};

}  // namespace yukt
