#include "host/Execution.h"

#include <algorithm>
#include <climits>
#include <set>

#include <gtest/gtest.h>

#include "support/FakeHost.h"

namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;

TEST(ParseActionInteger, FollowsTheRuntimeConversion) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"7", 7},
        {" 7", 7},
        {"   -12", -12},
        {"+5", 5},
        {"007", 7},
        {"-0", 0},
        {"$1F", 31},
        {"$ff", 255},
        {" -$10", -16},
        {"+$7FFFFFFF", INT32_MAX},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$000000001", 1},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"7 ", std::nullopt},
        {"\t7", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"abc", std::nullopt},
        {"1a", std::nullopt},
        {"1.5", std::nullopt},
        {"$", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"- 5", std::nullopt},
        {"0x10", std::nullopt},
        {"$G", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseActionInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(ActionTexts, NameTheActionAndTheObject) {
    EXPECT_EQ(InvalidArgumentsText(6), "Invalid \"duVozaPlayerStop\" action arguments");
    EXPECT_EQ(InvalidArgumentsText(46), "Invalid \"duVozaConvertToPCM\" action arguments");
    EXPECT_EQ(InvalidObjectText(7), "Invalid object instance by ID \"7\"");
    EXPECT_EQ(InvalidObjectText(-3), "Invalid object instance by ID \"-3\"");
}

TEST(ResultParamIndex, IsTheLastVariableExceptForTheDeviceListings) {
    EXPECT_EQ(ResultParamIndex(1), std::optional<std::size_t>(0)); // duVozaPlayerCreate
    EXPECT_EQ(ResultParamIndex(5), std::optional<std::size_t>(3)); // duVozaPlayerStart
    EXPECT_EQ(ResultParamIndex(17), std::optional<std::size_t>(5));
    EXPECT_EQ(ResultParamIndex(38), std::optional<std::size_t>(1)); // duVozaInfo
    for (const int32_t none : {3, 4, 21, 22, 0, 47})
        EXPECT_EQ(ResultParamIndex(none), std::nullopt) << none;
    // Every other action ends in its result variable.
    for (int32_t id = 1; id <= kActionCount; ++id) {
        if (ActionParamCount(id) > 0 && id != 4 && id != 22) {
            EXPECT_TRUE(ResultParamIndex(id).has_value()) << id;
        }
    }
}

// An executor in the shape of duVozaPlayerStop against a registry holding
// objects 1 and 2.
const std::set<int32_t> kObjects = {1, 2};
int workDone = 0;

int32_t StopLike(ActionParams params) {
    ActionCall call(6, params);
    int32_t id = 0;
    if (call.ReadInteger(0, id) && kObjects.count(id) == 0)
        call.FailNoObject(id);
    if (call.Ok())
        ++workDone;
    return call.Finish();
}

struct ConventionCase {
    const char* idText;
    int32_t answer;
    const char* result;
    std::optional<std::string> lastError;
};

TEST(ActionCall, FollowsTheExecutionConvention) {
    const ConventionCase cases[] = {
        {"1", 1, "True", std::nullopt},
        {" 2", 1, "True", std::nullopt},
        {"$2", 1, "True", std::nullopt},
        {"abc", 0, "False", "Invalid \"duVozaPlayerStop\" action arguments"},
        {"1 ", 0, "False", "Invalid \"duVozaPlayerStop\" action arguments"},
        {"", 0, "False", "Invalid \"duVozaPlayerStop\" action arguments"},
        {" 7", 0, "False", "Invalid object instance by ID \"7\""},
        {"-1", 0, "False", "Invalid object instance by ID \"-1\""},
    };
    for (const ConventionCase& c : cases) {
        SCOPED_TRACE(c.idText);
        FakeHost host;
        workDone = 0;
        HostParams params{c.idText, "Res"};
        EXPECT_EQ(StopLike(ActionParams(params.Slots(), 2)), c.answer);
        EXPECT_EQ(host.Variable("Res"), std::optional<std::string>(c.result));
        EXPECT_EQ(host.Variable("LastError"), c.lastError);
        EXPECT_EQ(workDone, c.answer);
        // One write for the result, one more for a failure.
        EXPECT_EQ(host.variableWrites.size(), c.lastError ? 2u : 1u);
        if (c.lastError) {
            EXPECT_EQ(host.variableWrites.front().first, "LastError");
        }
    }
}

TEST(ActionCall, SuccessLeavesAnEarlierErrorInPlace) {
    FakeHost host;
    HostParams bad{"x", "Res"};
    HostParams good{"1", "Res"};
    EXPECT_EQ(StopLike(ActionParams(bad.Slots(), 2)), 0);
    EXPECT_EQ(StopLike(ActionParams(good.Slots(), 2)), 1);
    EXPECT_EQ(host.Variable("LastError"),
              std::optional<std::string>("Invalid \"duVozaPlayerStop\" action arguments"));
    EXPECT_EQ(host.Variable("Res"), std::optional<std::string>("True"));
}

TEST(ActionCall, BlankResultVariableIsNotWrittenButTheAnswerStands) {
    FakeHost host;
    HostParams good{"1", "  "};
    HostParams bad{"9", ""};
    EXPECT_EQ(StopLike(ActionParams(good.Slots(), 2)), 1);
    EXPECT_EQ(StopLike(ActionParams(bad.Slots(), 2)), 0);
    EXPECT_EQ(host.variableWrites, (Writes{{"LastError", "Invalid object instance by ID \"9\""}}));
}

TEST(ActionCall, NullParametersReadAsEmptyText) {
    FakeHost host;
    HostParams params{nullptr, "Res"};
    EXPECT_EQ(StopLike(ActionParams(params.Slots(), 2)), 0);
    EXPECT_EQ(host.Variable("Res"), std::optional<std::string>("False"));
}

TEST(ActionCall, StopsAtTheFirstBadNumberAndReportsOnce) {
    // duVozaPlayerPosition: object ID, position, result.
    struct Case {
        const char* first;
        const char* second;
        bool ok;
        int32_t secondValue;
    };
    const Case cases[] = {
        {"1", "250", true, 250},
        {"x", "250", false, -99},
        {"1", "y", false, -99},
        {"x", "y", false, -99},
    };
    for (const Case& c : cases) {
        FakeHost host;
        HostParams params{c.first, c.second, "Res"};
        ActionCall call(9, ActionParams(params.Slots(), 3));
        int32_t first = -99;
        int32_t second = -99;
        const bool read = call.ReadInteger(0, first) && call.ReadInteger(1, second);
        EXPECT_EQ(read, c.ok);
        EXPECT_EQ(second, c.secondValue);
        EXPECT_EQ(call.Finish(), c.ok ? 1 : 0);
        const std::size_t errors =
            std::count_if(host.variableWrites.begin(), host.variableWrites.end(),
                          [](const auto& write) { return write.first == "LastError"; });
        EXPECT_EQ(errors, c.ok ? 0u : 1u);
    }
}

TEST(ActionCall, OnlyTheFirstFailureWritesLastError) {
    FakeHost host;
    HostParams params{"1", "Res"};
    ActionCall call(6, ActionParams(params.Slots(), 2));
    call.FailQuietly();
    call.Fail("second");
    call.FailNoObject(3);
    EXPECT_FALSE(call.Ok());
    EXPECT_EQ(call.Finish(), 0);
    EXPECT_EQ(host.variableWrites, (Writes{{"Res", "False"}}));
}

TEST(ActionCall, FinishWithWritesTheGivenValue) {
    FakeHost host;
    HostParams params{"NewId"};
    ActionCall call(1, ActionParams(params.Slots(), 1)); // duVozaPlayerCreate
    EXPECT_EQ(call.FinishWith("3", 1), 1);
    EXPECT_EQ(host.variableWrites, (Writes{{"NewId", "3"}}));
}

TEST(ActionCall, DeviceListingsHaveNoResultVariable) {
    FakeHost host;
    HostParams params{"Devices", "Count"};
    ActionCall call(4, ActionParams(params.Slots(), 2));
    call.Fail("broken");
    EXPECT_EQ(call.Finish(), 0);
    EXPECT_EQ(host.variableWrites, (Writes{{"LastError", "broken"}}));
}

} // namespace
