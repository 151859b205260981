/* The part of SAP's NetWeaver RFC library (sapnwrfc.dll, libsapnwrfc.so)
   that Ramgauge uses, with the library's own names, records and calling
   convention. The program loads the library at run time; our stand-in in
   nwrfc/ implements this header. In C++ the declarations live in namespace
   nw, so that they never meet the classic library's names of saprfc.h. */
#ifndef RAMGAUGE_SAPNWRFC_H
#define RAMGAUGE_SAPNWRFC_H

#if !defined(_WIN32) && !defined(__cplusplus)
#include <uchar.h>
#endif

#ifndef SAP_API
#ifdef _WIN32
#define SAP_API __stdcall
#else
#define SAP_API
#endif
#endif

#ifdef __cplusplus
namespace nw {
extern "C" {
#endif

/* SAP_UC is one UTF-16 code unit: wchar_t on Windows, char16_t elsewhere. */
#ifdef _WIN32
typedef wchar_t SAP_UC;
#elif defined(__cplusplus)
typedef char16_t SAP_UC;
#else
typedef char16_t SAP_UC;
#endif
typedef SAP_UC RFC_CHAR;
typedef unsigned char RFC_BYTE;
typedef short RFC_INT2;
typedef int RFC_INT;
typedef RFC_CHAR RFC_ABAP_NAME[31];

typedef enum {
    RFC_OK = 0,
    RFC_COMMUNICATION_FAILURE = 1,
    RFC_LOGON_FAILURE = 2,
    RFC_ABAP_RUNTIME_FAILURE = 3,
    RFC_ABAP_MESSAGE = 4,
    RFC_ABAP_EXCEPTION = 5,
    RFC_CLOSED = 6,
    RFC_CANCELED = 7,
    RFC_TIMEOUT = 8,
    RFC_MEMORY_INSUFFICIENT = 9,
    RFC_VERSION_MISMATCH = 10,
    RFC_INVALID_PROTOCOL = 11,
    RFC_SERIALIZATION_FAILURE = 12,
    RFC_INVALID_HANDLE = 13,
    RFC_RETRY = 14,
    RFC_EXTERNAL_FAILURE = 15,
    RFC_EXECUTED = 16,
    RFC_NOT_FOUND = 17,
    RFC_NOT_SUPPORTED = 18,
    RFC_ILLEGAL_STATE = 19,
    RFC_INVALID_PARAMETER = 20,
    RFC_CODEPAGE_CONVERSION_FAILURE = 21,
    RFC_CONVERSION_FAILURE = 22,
    RFC_BUFFER_TOO_SMALL = 23,
    RFC_TABLE_MOVE_BOF = 24,
    RFC_TABLE_MOVE_EOF = 25,
    RFC_START_SAPGUI_FAILURE = 26,
    RFC_ABAP_CLASS_EXCEPTION = 27,
    RFC_UNKNOWN_ERROR = 28,
    RFC_AUTHORIZATION_FAILURE = 29
} RFC_RC;

typedef enum {
    OK = 0,
    ABAP_APPLICATION_FAILURE = 1,
    ABAP_RUNTIME_FAILURE = 2,
    LOGON_FAILURE = 3,
    COMMUNICATION_FAILURE = 4,
    EXTERNAL_RUNTIME_FAILURE = 5,
    EXTERNAL_APPLICATION_FAILURE = 6,
    EXTERNAL_AUTHORIZATION_FAILURE = 7
} RFC_ERROR_GROUP;

typedef enum { RFCTYPE_CHAR = 0, RFCTYPE_TABLE = 5, RFCTYPE_INT = 8, RFCTYPE_INT2 = 9 } RFCTYPE;

typedef enum { RFC_IMPORT = 1, RFC_EXPORT = 2, RFC_CHANGING = 3, RFC_TABLES = 7 } RFC_DIRECTION;

typedef struct {
    RFC_RC code;
    RFC_ERROR_GROUP group;
    SAP_UC key[128];
    SAP_UC message[512];
    SAP_UC abapMsgClass[21];
    SAP_UC abapMsgType[2];
    RFC_CHAR abapMsgNumber[4];
    SAP_UC abapMsgV1[51];
    SAP_UC abapMsgV2[51];
    SAP_UC abapMsgV3[51];
    SAP_UC abapMsgV4[51];
} RFC_ERROR_INFO;

typedef struct {
    const SAP_UC *name;
    const SAP_UC *value;
} RFC_CONNECTION_PARAMETER;

/* Handles: pointers to records only the library knows (the record names
 * are ours; only the pointers cross the interface). */
typedef struct RFC_CONNECTION_HANDLE_record {
    void *handle;
} * RFC_CONNECTION_HANDLE;
typedef struct RFC_TYPE_DESC_HANDLE_record {
    void *handle;
} * RFC_TYPE_DESC_HANDLE;
typedef struct RFC_FUNCTION_DESC_HANDLE_record {
    void *handle;
} * RFC_FUNCTION_DESC_HANDLE;
typedef struct DATA_CONTAINER_record {
    void *handle;
} * DATA_CONTAINER_HANDLE;
typedef DATA_CONTAINER_HANDLE RFC_FUNCTION_HANDLE;
typedef DATA_CONTAINER_HANDLE RFC_TABLE_HANDLE;

typedef struct {
    RFC_ABAP_NAME name;
    RFCTYPE type;
    unsigned nucLength;
    unsigned nucOffset;
    unsigned ucLength;
    unsigned ucOffset;
    unsigned decimals;
    RFC_TYPE_DESC_HANDLE typeDescHandle;
    void *extendedDescription;
} RFC_FIELD_DESC;

typedef struct {
    RFC_ABAP_NAME name;
    RFCTYPE type;
    RFC_DIRECTION direction;
    unsigned nucLength;
    unsigned ucLength;
    unsigned decimals;
    RFC_TYPE_DESC_HANDLE typeDescHandle;
    RFC_CHAR defaultValue[31];
    RFC_CHAR parameterText[80];
    RFC_BYTE optional;
    void *extendedDescription;
} RFC_PARAMETER_DESC;

/* The operations, as the pointer types the program looks them up as. */
typedef RFC_CONNECTION_HANDLE(SAP_API *RfcOpenConnection_t)(
    const RFC_CONNECTION_PARAMETER *connectionParams, unsigned paramCount,
    RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcCloseConnection_t)(RFC_CONNECTION_HANDLE rfcHandle,
                                              RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcSetTraceDir_t)(SAP_UC *traceDir, RFC_ERROR_INFO *errorInfo);
/* The library's version: numbers and a static text (never freed). */
typedef const SAP_UC *(SAP_API *RfcGetVersion_t)(unsigned *majorVersion, unsigned *minorVersion,
                                                 unsigned *patchLevel);
typedef RFC_TYPE_DESC_HANDLE(SAP_API *RfcCreateTypeDesc_t)(const SAP_UC *name,
                                                           RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcAddTypeField_t)(RFC_TYPE_DESC_HANDLE typeHandle,
                                           const RFC_FIELD_DESC *fieldDescr,
                                           RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcSetTypeLength_t)(RFC_TYPE_DESC_HANDLE typeHandle, unsigned nucByteLength,
                                            unsigned ucByteLength, RFC_ERROR_INFO *errorInfo);
typedef RFC_FUNCTION_DESC_HANDLE(SAP_API *RfcCreateFunctionDesc_t)(const SAP_UC *name,
                                                                   RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcAddParameter_t)(RFC_FUNCTION_DESC_HANDLE funcDesc,
                                           const RFC_PARAMETER_DESC *paramDescr,
                                           RFC_ERROR_INFO *errorInfo);
typedef RFC_FUNCTION_HANDLE(SAP_API *RfcCreateFunction_t)(RFC_FUNCTION_DESC_HANDLE funcDescHandle,
                                                          RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcDestroyFunction_t)(RFC_FUNCTION_HANDLE funcHandle,
                                              RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcSetChars_t)(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                       const RFC_CHAR *charValue, unsigned valueLength,
                                       RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcInvoke_t)(RFC_CONNECTION_HANDLE rfcHandle,
                                     RFC_FUNCTION_HANDLE funcHandle, RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcGetTable_t)(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                       RFC_TABLE_HANDLE *tableHandle, RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcGetRowCount_t)(RFC_TABLE_HANDLE tableHandle, unsigned *rowCount,
                                          RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcMoveTo_t)(RFC_TABLE_HANDLE tableHandle, unsigned index,
                                     RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcGetInt_t)(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                     RFC_INT *value, RFC_ERROR_INFO *errorInfo);
typedef RFC_RC(SAP_API *RfcGetInt2_t)(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                      RFC_INT2 *value, RFC_ERROR_INFO *errorInfo);

#ifdef __cplusplus
}
}
static_assert(sizeof(nw::SAP_UC) == 2, "SAP_UC is one UTF-16 code unit");
#endif

#endif
