// Writing HOSTS files: save, replace, and the sort buffer as a HOSTS file.

#include "gui/form1.h"

namespace quorvale {

void Form1::SaveAs_Click() {}

void Form1::ReplaceHosts_Click() {}

void Form1::Command3_Click() {}

}  // namespace quorvale
