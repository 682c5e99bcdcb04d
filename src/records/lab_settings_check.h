// The laboratory settings by key, with the checks a value must pass before
// it is stored: the same for the settings dialog and `yukt-records settings`.
#pragma once

#include <QString>
#include <QStringList>

#include "records/lab_settings.h"

namespace yukt::records {

// Every key in the order they are listed: organisation, sign_cipher, …,
// interval.745t …
QStringList LabSettingKeys();
QString LabSettingCaption(const QString& key);  // "Шифр клейма"
QString LabSettingDefault(const QString& key);

// Empty when `value` may be stored under `key`, else what is wrong with it,
// starting with the caption. An empty value is allowed but for the schemes.
QString LabSettingProblem(const QString& key, const QString& value);
// The same in the settings form's words: its label and the constraint, with
// no registry element or schema type ("Шифр клейма — от 1 до 3 заглавных
// русских букв, задано «abc»").
QString LabSettingFormProblem(const QString& key, const QString& value);
// Lists ("a; b") in the form they are stored ("a;b").
QString NormalisedLabSetting(const QString& key, const QString& value);
// Every problem of a whole set of settings, as LabSettingProblem and as the
// dialog's OK tells them.
QStringList LabSettingsProblems(const LabSettings& settings);
QStringList LabSettingsFormProblems(const LabSettings& settings);

}  // namespace yukt::records
