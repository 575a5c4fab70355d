// How many device pixels the editor draws per pixel of its own layout, and
// where that number comes from. In order, the first source with a sensible
// value wins:
//   1. TONARVO_SCALE in the environment (one session);
//   2. the user's settings file, a line "scale=S" (kept across sessions):
//      $XDG_CONFIG_HOME/Tonarvo/settings or ~/.config/Tonarvo/settings on
//      Linux, %APPDATA%\Tonarvo\settings.ini on Windows; a window the user
//      resized through a host writes it;
//   3. the host's own scale call (VST 3, CLAP, LV2 ui:scaleFactor);
//   4. the screen (Windows: the window's DPI; X11: GDK_SCALE, else Xft.dpi).
// A value that is no number, not finite, below 1 or above 4 does not count
// and the next source is asked; with none the scale is 1.
#pragma once

#include <string>

namespace editor_scale {

constexpr double kSmallest = 1.0;
constexpr double kLargest = 4.0;

// s itself when it is a usable scale, else 0.
double usable(double s);
// The whole text as a number ("1.5", " 2 "); 0 when it is not one or not usable.
double parse(const char* text);
// The value of the last "scale=" line of a settings file's text; 0 when none
// is usable. Blank lines, comments (# or ;) and other keys are passed over.
double fromSettings(const std::string& text);
// Xft.dpi from an X resource string (XResourceManagerString), over 96; 0
// when it is missing or gives no usable scale.
double fromXResources(const char* resources);
// Where the user's settings file is; empty when no home is known.
std::string settingsPath();
// TONARVO_SCALE, else the settings file; 0 when neither gives a usable scale.
double userScale();
// The scale the editor takes, given the user's, the host's and the screen's
// (each 0 when it has none).
double choose(double user, double host, double screen);
// A length of the layout in device pixels at scale s.
int scaled(int length, double s);

// The size nearest to width x height that shows a layout of layoutWidth x
// layoutHeight at a usable scale: the proposal projected onto the layout's
// ratio, a whole number of device pixels wide, the height rounded from the
// width. A size this returns comes back unchanged.
struct Size {
    int width = 0, height = 0;
    bool operator==(const Size&) const = default;
};
Size fit(int layoutWidth, int layoutHeight, double width, double height);

// The settings file's text with its scale lines replaced by one "scale=S"
// (appended when it had none); every other line stays as it was.
std::string withScale(const std::string& text, double s);
// Writes the user's scale into the settings file (the folder made when
// missing, the file replaced whole); false when it cannot be written.
bool saveUserScale(double s);

}  // namespace editor_scale
