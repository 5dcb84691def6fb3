// The edit dialog of each action, by action ID (index 0 unused), and the
// about box. An empty slot answers 0 and shows nothing.
#include "host/Dispatch.h"

const ActionEditorTable kActionEditors = {};
const AboutBoxProc kAboutBox = nullptr;
