#pragma once

namespace quorvale {

// What the window program sets up once, before its first window: its name and version, Qt's
// French texts and the program's icon.
void SetUpApplication();

}  // namespace quorvale
