#pragma once
// "velmora-cli render LAYOUT.vmp -o OUT.png [--camera NAME|--camera-type N] [--size WxH]
// [--technical] [--frames N] [--json]": draws a layout without a display. The command makes a
// render core (EGL), loads the layout into the program's project with an offscreen surface as
// its 3D view, activates the camera the file marks active (or the one asked for), runs N frame
// steps (default 1) of the project's own frame loop on a fixed 40 ms clock and writes the last
// frame - the 3D view alone - as PNG, JPEG or 24-bit BMP by the output's extension. The same
// layout and options give the same bytes on every run. The file is written through a temporary
// file that replaces the target once complete.
//
// --technical switches to the technical-drawing camera from a top-down camera (the one given,
// the active one, or else the first), so it keeps its place. --json reports camera, size, frames,
// draw calls of the last frame and the times of loading, of the first frame and the mean of
// frames 2 … N (null for one frame), on the real clock.
//
// Exit status: 0 written; 1 the layout cannot be loaded, no graphics, or the picture cannot be
// written (no file is left); 2 wrong use (unknown option, bad size or frame count, unknown
// camera, unknown picture format).

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

extern const char* const RenderCommandUsage;
int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
