// Which member of the VTK-08.14 family (C or CM) an instrument is. A .814
// statistics file does not say, so the member found at each download is
// remembered by serial number in StatVTK.ini, section `Devices`, and used
// when a file of that serial is opened; the user may also name it.
#pragma once

#include <optional>
#include <string>

#include "base/ini_file.hpp"
#include "stats/stat_image.hpp"

namespace statvtk {

// How the member of an opened VTK-08.14 file was decided.
enum class MemberSource {
  NotApplicable,  // not a VTK-08.14 file
  Given,          // named by the user (--member)
  Remembered,     // found in StatVTK.ini [Devices] by serial number
  Assumed         // neither: the C tables are used
};

// Writes "serial=C" or "serial=CM" into [Devices]: true when written, false
// when the type is not a VTK-08.14 or the serial cannot be an INI key, the
// error when the file could not be written.
Result<bool> RememberMember(IniFile& ini, const std::string& serial, DeviceType type);
std::optional<DeviceType> RememberedMember(const IniFile& ini, const std::string& serial);

// "C" / "CM" (any case) -> the type; nullopt otherwise.
std::optional<DeviceType> MemberOfText(const std::string& text);

// Sets the type of a VTK-08.14 image: `given` wins, then the remembered
// member, else C. Other models are left alone.
MemberSource ApplyMember(StatData& data, const IniFile& ini, std::optional<DeviceType> given);

// A line telling which tables were used, for the technical information.
std::string MemberNote(MemberSource source, DeviceType type);

}  // namespace statvtk
