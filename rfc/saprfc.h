/* The operations and records of SAP's classic RFC library (librfc32) that
   Ramgauge uses, with the library's own names. The program loads the library
   at run time; our stand-in library in librfc32/ implements this header. */
#ifndef RAMGAUGE_SAPRFC_H
#define RAMGAUGE_SAPRFC_H

#include <stddef.h>

#ifdef _WIN32
#define SAP_API __stdcall
#else
#define SAP_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int RFC_HANDLE; /* 0: no connection */
typedef int RFC_RC;
typedef unsigned int RFC_TYPEHANDLE;
typedef void *ITAB_H;

enum { RFC_OK = 0, RFC_FAILURE = 1, RFC_EXCEPTION = 2, RFC_SYS_EXCEPTION = 3 };

/* Type codes of parameters and structure elements. */
enum { TYPC = 0, TYPINT = 8, TYPINT2 = 9 };

typedef void(SAP_API *RFC_ERROR_HANDLER)(char *operation);
typedef void *(SAP_API *RFC_ALLOCATE)(void *old_pointer, size_t size);

typedef struct {
    RFC_ERROR_HANDLER errorhandler;
    RFC_ALLOCATE allocate;
} RFC_ENV;

typedef enum { RFC_MODE_R3ONLY = 0, RFC_MODE_CPIC = 1 } RFC_MODE;

typedef struct {
    char *gateway_host;
    char *gateway_service;
} RFC_CONNOPT_CPIC;

typedef struct {
    char *hostname;
    int sysnr;
    char *gateway_host;
    char *gateway_service;
} RFC_CONNOPT_R3ONLY;

typedef struct {
    char *destination;
    RFC_MODE mode;
    void *connopt;
    char *client;
    char *user;
    char *password;
    char *language;
    int trace;
} RFC_OPTIONS;

typedef struct {
    char key[33];
    char status[128];
    char message[256];
    char intstat[128];
} RFC_ERROR_INFO;

typedef struct {
    int group;
    char key[33];
    char message[513];
} RFC_ERROR_INFO_EX;

typedef struct {
    char *name;
    unsigned nlen;
    unsigned type;
    unsigned leng;
    void *addr;
} RFC_PARAMETER;

typedef struct {
    char *name;
    unsigned nlen;
    RFC_TYPEHANDLE type;
    unsigned leng;
    ITAB_H ithandle;
    int itmode;
    int newitab;
} RFC_TABLE;

typedef struct {
    char *name;
    unsigned type;
    unsigned length;
    unsigned decimals;
    unsigned offset;
} RFC_TYPE_ELEMENT;

#ifdef __cplusplus
static_assert(sizeof(RFC_ERROR_INFO) == 545, "RFC_ERROR_INFO is 545 bytes");
static_assert(sizeof(RFC_ERROR_INFO_EX) == 4 + 33 + 513 + 2, "RFC_ERROR_INFO_EX layout");
#endif

typedef void(SAP_API *RfcEnvironment_t)(RFC_ENV *environment);
typedef RFC_HANDLE(SAP_API *RfcOpen_t)(RFC_OPTIONS *options);
typedef RFC_HANDLE(SAP_API *RfcOpenEx_t)(const char *connect_param, RFC_ERROR_INFO_EX *error);
typedef RFC_RC(SAP_API *RfcInstallStructure_t)(const char *name, RFC_TYPE_ELEMENT *elements,
                                               unsigned entries, RFC_TYPEHANDLE *type_handle);
typedef RFC_RC(SAP_API *RfcCall_t)(RFC_HANDLE handle, const char *function,
                                   RFC_PARAMETER *exporting, RFC_TABLE *tables);
typedef RFC_RC(SAP_API *RfcReceive_t)(RFC_HANDLE handle, RFC_PARAMETER *importing,
                                      RFC_TABLE *tables, char **exception);
typedef int(SAP_API *RfcLastError_t)(RFC_ERROR_INFO *error);
typedef void(SAP_API *RfcClose_t)(RFC_HANDLE handle);
typedef ITAB_H(SAP_API *ItCreate_t)(const char *name, unsigned leng, unsigned occu, unsigned memo);
typedef unsigned(SAP_API *ItFill_t)(ITAB_H table);
typedef void *(SAP_API *ItGetLine_t)(ITAB_H table, unsigned line);
typedef int(SAP_API *ItDelete_t)(ITAB_H table);

#ifdef __cplusplus
}
#endif

#endif
