#pragma once

// What the internal platform libraries (the process state SpringBoard sets
// up, the IPC server, the widget host) export to the simulator, the tests and
// the public libraries. The public libraries compile with hidden visibility,
// so a function they call in an internal library must be marked visible
// where it is declared; deliverables never see these headers, nor link the
// libraries that define them.
#define INTERNAL_API __attribute__((visibility("default")))
