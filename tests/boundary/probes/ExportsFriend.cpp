// A library that exports a type host/ only names: SharedString befriends
// SharedStringArena, but the arena is Foundation's own. The export check
// must count it as outside the platform API, as it would any internal.
class __attribute__((visibility("default"))) SharedStringArena {
public:
    SharedStringArena();
};

SharedStringArena::SharedStringArena() = default;
