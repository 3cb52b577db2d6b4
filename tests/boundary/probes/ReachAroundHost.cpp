// A deliverable source that reaches around host/: it includes a stand-in's
// header by a path relative to host/ and calls into it. It compiles with a
// deliverable's settings, but does not link as a deliverable links: the
// function lives in no library a deliverable may link. Linked loosely, the
// include check and the import check must refuse it.
#include "../springboard/Foundation/include/PlistCodec.h"

extern "C" __attribute__((visibility("default"))) bool velmora_boundary_probe_around_host(const char* bytes,
                                                                                          unsigned long length) {
    return springboard::parsePropertyList(bytes, length).has_value();
}
