#include "gt/core/lang/Exception.h"

#include <gtest/gtest.h>

#include "gt/core/lang/Type.h"

using gt::core::String;
using gt::core::Type;

TEST(Exception, MessagesTable) {
    struct Case {
        gt::core::Exception e;
        char16_t const* message;
    } const cases[] = {
        {gt::core::OutOfRangeException(-1, 2147483647),
         u"OutOfRangeException. Index -1 out of range [0, 2147483647)"},
        {gt::core::OutOfRangeException(), u"OutOfRangeException"},
        {gt::core::ThreadStartException(), u"Can not start the thread."},
        {gt::core::NotSupportException(String(u"x")), u"NotSupportException. 'x' is not supported."},
        {gt::core::InvalidCastException(String(u"T")), u"InvalidCastException. Invalid cast to 'T'."},
        {gt::core::OutOfDomainException(-3), u"OutOfDomainException. Integer value '-3' out of domain."},
        {gt::core::OutOfDomainException(1e20), u"OutOfDomainException. Double value '1e+020' out of domain."},
        {gt::core::BadVariantCastException(), u"BadVariantCastException"},
        {gt::core::BadAnyCastException(Type(typeid(int)), Type(typeid(String))),
         u"BadAnyCastException. Can not cast i to N2gt4core6StringE"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(c.e.message(), String(c.message));
}

TEST(Exception, TextFormNamesTheDynamicClass) {
    EXPECT_EQ(gt::core::Exception(String(u"x")).toString(),
              String(u"[GT Exception: N2gt4core9ExceptionE] x"));
    try {
        gt::core::throwOutOfRange(5, 3);
    } catch (gt::core::Exception const& e) {
        EXPECT_EQ(e.toString(), String(u"[GT Exception: N2gt4core19OutOfRangeExceptionE] "
                                       u"OutOfRangeException. Index 5 out of range [0, 3)"));
    }
    EXPECT_THROW(gt::core::throwOutOfRange(-4), gt::core::OutOfRangeException);
}

TEST(Exception, RpcCodes) {
    gt::util::RpcMethodNotFoundException nf(String(u"m"));
    EXPECT_EQ(nf.code(), -32601);
    EXPECT_EQ(nf.message(), String(u"m"));
    EXPECT_EQ(gt::util::RpcBadParamsException(String(u"p")).code(), -32602);
    EXPECT_EQ(gt::util::RpcException(String(u"q"), 7).code(), 7);
}

TEST(Type, NamesAndEquality) {
    EXPECT_EQ(Type(), Type(typeid(void)));
    EXPECT_NE(Type(typeid(int)), Type(typeid(long long)));
    struct Case {
        Type type;
        char16_t const* name;
    } const cases[] = {{typeid(int), u"i"},  {typeid(long long), u"x"},
                       {typeid(bool), u"b"}, {typeid(double), u"d"},
                       {Type(), u"v"},       {typeid(String), u"N2gt4core6StringE"}};
    for (auto const& c : cases)
        EXPECT_EQ(c.type.toString(), String(c.name));
    Type t;
    t = typeid(double);
    EXPECT_TRUE(t == typeid(double));
}
