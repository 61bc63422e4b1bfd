#pragma once

#include <QString>

// Why no window can be shown, or empty when one can. The platforms Qt would start are tried in
// its order (QT_QPA_PLATFORM, else Wayland in a Wayland session, then X), or Wayland alone
// where WAYLAND_DISPLAY is the only display named and no session type is set. X and Wayland
// count only when a connection made through the client library Qt uses (libxcb, libwayland-client)
// is accepted and answered within a few seconds. The first that is set in QT_QPA_PLATFORM, so
// that Qt starts that one and never reaches its own abort.
QString DisplayProblem();
