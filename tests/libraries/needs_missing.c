/* A library that cannot be loaded for one reason only: it needs
   ramgauge_missing_dep, which is never beside it. Error 1018 must name that
   file. */
#ifdef _WIN32
#define IMPORTED __declspec(dllimport)
#define EXPORTED __declspec(dllexport)
#else
#define IMPORTED
#define EXPORTED __attribute__((visibility("default")))
#endif

IMPORTED int ramgauge_missing_dep_value(void);
EXPORTED int ramgauge_needs_missing_value(void);

int ramgauge_needs_missing_value(void) {
    return ramgauge_missing_dep_value();
}
