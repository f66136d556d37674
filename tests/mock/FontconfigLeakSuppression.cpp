// Linked into the widget tests: the font database keeps fontconfig's caches
// until the process ends, which the leak checker of the sanitizer build would
// otherwise report after every widget test.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
