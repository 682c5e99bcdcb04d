// Text that must fit in an XML 1.0 document (the registry file): C0 control
// characters other than tab, line feed and carriage return, U+FFFE, U+FFFF
// and unpaired surrogates cannot be written, not even escaped. A barcode
// scanner's group separator (U+001D) in a serial is the usual one.
#pragma once

#include <QString>

namespace yukt::records {

// The first character of `text` that XML 1.0 does not allow, as "U+001D";
// empty when there is none.
QString XmlIllegalCharacter(const QString& text);
// For an input field (a dialog, --serial, --operator, a setting): the
// message naming `field` and the character, empty when the text is fine.
QString XmlIllegalProblem(const QString& field, const QString& text);

}  // namespace yukt::records
