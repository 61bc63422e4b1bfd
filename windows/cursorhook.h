#pragma once

// Shows the application-wide pointer code as Qt's override cursor from now on, starting with
// the current code. Needs the GUI application object.
void InstallCursorHook();
