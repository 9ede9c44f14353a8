// Domain lists and the sort buffer.

#include "gui/form1.h"

namespace quorvale {

void Form1::ChargerDom_Click() {}

void Form1::Command6_Click() {}

void Form1::ExportDom_Click() {}

void Form1::Command7_Click() {}

void Form1::Command2_Click() {}

void Form1::Command3_Click() {}

}  // namespace quorvale
