/* A library that the test library needs and that is never put beside it. */
#ifdef _WIN32
#define EXPORTED __declspec(dllexport)
#else
#define EXPORTED __attribute__((visibility("default")))
#endif

EXPORTED int ramgauge_missing_dep_value(void);

int ramgauge_missing_dep_value(void) {
    return 7;
}
