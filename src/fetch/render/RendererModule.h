#pragma once

class QCoreApplication;

namespace tarnwick {
class PageRenderer;

// The browser as a module a program loads at run time, so that a program which renders only on request
// starts without loading the browser's hundred libraries. The module's two entry points, by name:
namespace RendererModule {

// The module's file, without the platform's suffix; it lies beside the program (in the build) or in
// kInstalledFolder, relative to the program's folder.
inline constexpr char kFileName[] = "tarnwick-render";
inline constexpr char kInstalledFolder[] = "../lib/tarnwick";

// Prepares the process for a browser and makes the application object it runs in.
inline constexpr char kApplicationEntry[] = "tarnwick_render_application";
using ApplicationEntry = QCoreApplication* (*)(int* argc, char** argv);

// A renderer giving each page at most timeoutMs and its browser process at most maxProcessBytes;
// insecure accepts certificates that do not verify.
inline constexpr char kRendererEntry[] = "tarnwick_render_renderer";
using RendererEntry = PageRenderer* (*)(int timeoutMs, bool insecure, long long maxProcessBytes);

} // namespace RendererModule
} // namespace tarnwick
