// Text that names the operating system, for the log header and feedback.
#pragma once

#include <string>

namespace sorvani {

// NAME " v." VERSION_ID " build " kernel release, from os-release and uname; parts that
// cannot be read are left out.
std::string OperatingSystemText(const std::string& osReleasePath = "/etc/os-release");

}  // namespace sorvani
