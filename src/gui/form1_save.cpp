// Writing the lists as a HOSTS file: save and replace.

#include "gui/form1.h"

namespace quorvale {

void Form1::SaveAs_Click() {}

void Form1::ReplaceHosts_Click() {}

}  // namespace quorvale
