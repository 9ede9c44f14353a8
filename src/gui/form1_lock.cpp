// Locking the HOSTS file, and the about box.

#include "gui/form1.h"

namespace quorvale {

void Form1::Command5_Click() {}

void Form1::CheckHostsLock(const std::string& path) { (void)path; }

void Form1::Apropos_Click() {}

}  // namespace quorvale
