#pragma once

// Everything declared under host/ is provided by the platform's shared
// libraries. Deliverables build with hidden visibility, so the platform's
// types and functions are marked visible explicitly: that keeps one copy of
// each class's type information across all loaded libraries, which
// dynamic_cast and exceptions across library boundaries rely on.
#define HOST_API __attribute__((visibility("default")))
