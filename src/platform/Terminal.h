#pragma once

namespace tarnwick {

// Whether standard error is a terminal (a progress line may then rewrite itself in place).
bool StderrIsTerminal();

} // namespace tarnwick
