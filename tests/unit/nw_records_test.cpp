// The records shared with SAP's NetWeaver RFC library must have its layout
// byte for byte: the library was compiled from SAP's header, not ours. The
// offsets follow from that header's field order, SAP_UC of two bytes and
// the platform's pointer size.
#include <cstddef>

#include <gtest/gtest.h>

#include "rfc/sapnwrfc.h"

namespace {

constexpr bool wide = sizeof(void *) == 8;

TEST(NwRecords, ErrorInfo) {
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, code), 0u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, group), 4u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, key), 8u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, message), 264u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, abapMsgClass), 1288u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, abapMsgType), 1330u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, abapMsgNumber), 1334u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, abapMsgV1), 1342u);
    EXPECT_EQ(offsetof(nw::RFC_ERROR_INFO, abapMsgV4), 1648u);
    EXPECT_EQ(sizeof(nw::RFC_ERROR_INFO), 1752u);
}

TEST(NwRecords, ConnectionParameter) {
    EXPECT_EQ(offsetof(nw::RFC_CONNECTION_PARAMETER, value), sizeof(void *));
    EXPECT_EQ(sizeof(nw::RFC_CONNECTION_PARAMETER), 2 * sizeof(void *));
}

TEST(NwRecords, FieldDescription) {
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, type), 64u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, nucLength), 68u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, nucOffset), 72u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, ucLength), 76u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, ucOffset), 80u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, decimals), 84u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, typeDescHandle), 88u);
    EXPECT_EQ(offsetof(nw::RFC_FIELD_DESC, extendedDescription), wide ? 96u : 92u);
    EXPECT_EQ(sizeof(nw::RFC_FIELD_DESC), wide ? 104u : 96u);
}

TEST(NwRecords, ParameterDescription) {
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, type), 64u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, direction), 68u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, nucLength), 72u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, ucLength), 76u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, decimals), 80u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, typeDescHandle), wide ? 88u : 84u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, defaultValue), wide ? 96u : 88u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, parameterText), wide ? 158u : 150u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, optional), wide ? 318u : 310u);
    EXPECT_EQ(offsetof(nw::RFC_PARAMETER_DESC, extendedDescription), wide ? 320u : 312u);
    EXPECT_EQ(sizeof(nw::RFC_PARAMETER_DESC), wide ? 328u : 316u);
}

// The enumerations travel as int-sized values with SAP's numbers.
TEST(NwRecords, CodesAndTypes) {
    EXPECT_EQ(sizeof(nw::RFC_RC), 4u);
    EXPECT_EQ(nw::RFC_ABAP_EXCEPTION, 5);
    EXPECT_EQ(nw::RFC_INVALID_PARAMETER, 20);
    EXPECT_EQ(nw::RFC_UNKNOWN_ERROR, 28);
    EXPECT_EQ(nw::RFCTYPE_INT2, 9);
    EXPECT_EQ(nw::RFC_TABLES, 7);
}

} // namespace
