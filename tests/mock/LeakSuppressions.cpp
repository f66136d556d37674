// Linked into every test: under the sanitizers, allocations that system
// libraries keep to the end of the process are not ours (fontconfig's font
// cache, libdbus on a real display). Programs the tests start get the same
// rules from tests/lsan.supp through LSAN_OPTIONS.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
