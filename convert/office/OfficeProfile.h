// Where LibreOffice is and the private profile it runs with (internal to convert/).
//
// Errors: FindOffice throws ConvertError when LibreOffice is missing; the others never throw.
#pragma once

#include <QString>

namespace kelmo {

// The converter program: requested (a path or a name on PATH) or, when empty, the
// installed soffice.
QString FindOffice(const QString& requested);

// The soffice.bin beside a soffice launcher, which is what a session starts so that it
// is LibreOffice itself that receives the parent-death signal; program when none is there.
QString OfficeBinary(const QString& program);

// The shared profile under the user's cache folder; empty when there is no usable home
// (HOME unset or "/"), in which case a throwaway profile in the private folder serves.
QString DefaultProfileDir();

// Puts the settings every conversion needs into the profile's registrymodifications.xcu:
// no linked content fetched from untrusted places and links never updated, so a document
// cannot make LibreOffice reach the network or pull in the user's files. Other settings
// there stay. With the LibreOffice program, also its version as the last one that ran, so
// that it does not take each start for the first after an update. False when the file
// cannot be written.
bool WriteProfileSettings(const QString& profileDir, const QString& program = QString());

}  // namespace kelmo
