#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/GuardedApplication.h"

namespace {

using zul::GuardedApplication;

TEST(GuardedApplication, ShowsWhatAStdExceptionSays) {
    EXPECT_EQ(
        GuardedApplication::MessageOf(std::make_exception_ptr(std::runtime_error("Out of memory"))),
        QStringLiteral("Out of memory"));
    EXPECT_EQ(GuardedApplication::MessageOf(std::make_exception_ptr(std::bad_alloc())),
              QString::fromUtf8(std::bad_alloc().what()));
}

TEST(GuardedApplication, ShowsAnEmptyMessageForAnyOtherKind) {
    EXPECT_EQ(GuardedApplication::MessageOf(std::make_exception_ptr(42)), QString());
    EXPECT_EQ(GuardedApplication::MessageOf(std::make_exception_ptr(std::string("text"))),
              QString());
    EXPECT_EQ(GuardedApplication::MessageOf(nullptr), QString());
}

}  // namespace
