// The drawing primitives the adapter offers the effect runtime. Each acts on
// the drawing context of the paint in progress and answers 1 on success, 0
// when the adapter or the context is missing (outside a paint nothing is
// drawn). The editor size and the bitmap handle, size and loading operations
// also work outside a paint.
#pragma once

#include <cstdint>

class CVeST;
struct BitmapHandle;

int gfxGetEditorSize(CVeST* adapter, int* width, int* height);
int gfxSetDrawMode(CVeST* adapter, int mode);
int gfxSetFontColor(CVeST* adapter, int red, int green, int blue, int alpha);
int gfxSetFillColor(CVeST* adapter, int red, int green, int blue, int alpha);
int gfxSetFrameColor(CVeST* adapter, int red, int green, int blue, int alpha);
// Width of UTF-8 text in the current font; -1 with no font or no graphics.
double gfxGetStringWidth(CVeST* adapter, const char* text);
int gfxGetFontSize(CVeST* adapter);
int gfxMoveTo(CVeST* adapter, double x, double y);
int gfxLineTo(CVeST* adapter, double x, double y);
// style 1 fills, 0 strokes, 2 does both.
int gfxDrawArc(CVeST* adapter, double left, double top, double right, double bottom, double startAngle,
               double endAngle, int style);
int gfxDrawRect(CVeST* adapter, double left, double top, double right, double bottom, int style);
int gfxDrawEllipse(CVeST* adapter, double left, double top, double right, double bottom, int style);
int gfxDrawStringInRect(CVeST* adapter, const char* text, double left, double top, double right, double bottom,
                        int opaque, int alignment);
int gfxDrawStringAt(CVeST* adapter, const char* text, double x, double y, int antialias);
// alignment 0 left, 1 centre, 2 right.
int gfxDrawStringAligned(CVeST* adapter, const char* text, double left, double top, double right, double bottom,
                         int alignment, int antialias);
int gfxDrawPoint(CVeST* adapter, double x, double y, int red, int green, int blue, int alpha);
// Reading pixels is not supported: always opaque black.
int gfxGetPoint(CVeST* adapter, double x, double y, int* red, int* green, int* blue, int* alpha);
int gfxSetFont(CVeST* adapter, const char* face, int size, int style);

BitmapHandle* gfxBitmapNew(CVeST* adapter);
int gfxBitmapFree(CVeST* adapter, BitmapHandle* handle);
int gfxBitmapLoadFile(CVeST* adapter, BitmapHandle* handle, const char* fileName);
int gfxBitmapLoadNamedResource(CVeST* adapter, BitmapHandle* handle, const char* resourceName);
int gfxBitmapLoadResource(CVeST* adapter, BitmapHandle* handle, int resourceNumber);
double gfxBitmapWidth(CVeST* adapter, BitmapHandle* handle);
double gfxBitmapHeight(CVeST* adapter, BitmapHandle* handle);
int gfxBitmapGetTransparentColor(CVeST* adapter, BitmapHandle* handle, int* red, int* green, int* blue, int* alpha);
int gfxBitmapSetTransparentColor(CVeST* adapter, BitmapHandle* handle, int red, int green, int blue, int alpha);
int gfxBitmapGetNoAlpha(CVeST* adapter, BitmapHandle* handle, int* noAlpha);
int gfxBitmapSetNoAlpha(CVeST* adapter, BitmapHandle* handle, int noAlpha);
int gfxBitmapDraw(CVeST* adapter, BitmapHandle* handle, double left, double top, double right, double bottom,
                  double sourceX, double sourceY);
int gfxBitmapDrawAlphaBlend(CVeST* adapter, BitmapHandle* handle, double left, double top, double right,
                            double bottom, double sourceX, double sourceY, int alpha);
int gfxBitmapDrawTransparent(CVeST* adapter, BitmapHandle* handle, double left, double top, double right,
                             double bottom, double sourceX, double sourceY);
