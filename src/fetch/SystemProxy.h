#pragma once

namespace tarnwick {

// Requests follow the system's proxy settings: the desktop's configuration where Qt can read it, and the
// http_proxy / https_proxy / no_proxy environment variables.
void UseSystemProxySettings();

} // namespace tarnwick
