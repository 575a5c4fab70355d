// The effect's script-like drawing model: a colour of four 0-1 numbers, a pen
// position and a line height kept in effect variables, and operations that
// draw at the pen through the adapter's primitives.
#pragma once

#include <string>

#include "runtime/SharedValue.h"

namespace plexa {
class TPlexa;
}

class EffectDrawing {
public:
    // The colour and the font slot are the effect's own variables; the pen,
    // the line height and the tables belong to the runtime layers.
    EffectDrawing(plexa::TPlexa& effect, double& colorR, double& colorG, double& colorB, double& colorA,
                  double& fontSlot)
        : effect(effect), colorR(colorR), colorG(colorG), colorB(colorB), colorA(colorA), fontSlot(fontSlot) {}

    // Text of a string handle at the pen; line feeds start new lines.
    void drawStr(double handle);
    // The value with "%.*f".
    void drawNumber(double value, double decimals);
    // size > 0: pixel size 0.85 * size, line height size; size < 0: pixel size
    // -size; 0: 16 pixels. styleLetters holds up to four bytes 'b', 'i', 'u'.
    void setFont(double slot, double faceHandle, double size, double styleLetters);
    // The image of a handle 1:1 with its corner at the pen; the pen stays.
    void blit(double handle, double scale = 1.0, double rotation = 0.0);
    void drawLine(double x1, double y1, double x2, double y2, double antialias);
    void fillRect(double x, double y, double width, double height);

    // A colour channel 0-1 as a byte, rounded with the runtime's bias.
    static int channelByte(double channel);

private:
    void drawText(const std::string& text);
    // A channel of the colour as a byte; the initialisation may set the
    // colour from another thread, so it is read as a shared value.
    static int colourByte(const double& channel) { return channelByte(plexa::readShared(channel)); }

    plexa::TPlexa& effect;
    double& colorR;
    double& colorG;
    double& colorB;
    double& colorA;
    double& fontSlot;
};
