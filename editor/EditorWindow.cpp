#include "editor/EditorWindow.h"

namespace {
// Constant-initialised, so a platform window installing itself from a static
// initialiser of the plug-in cannot run before it.
EditorWindowFactory gFactory = nullptr;
}  // namespace

std::unique_ptr<EditorWindow> createEditorWindow() { return gFactory ? gFactory() : nullptr; }

EditorWindowFactory installEditorWindowFactory(EditorWindowFactory factory) {
    const EditorWindowFactory previous = gFactory;
    gFactory = factory;
    return previous;
}
