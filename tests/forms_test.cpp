// The forms' portable logic: centring over the form model, the login
// dialog's handlers over a scripted view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "centring.h"
#include "login.h"
#include "runtime_error.h"

namespace kestrel::forms {
namespace {

// Records every property access, in order, and the screen objects alive.
struct Recorder {
    std::vector<std::string> calls;
    int screensAlive = 0;
};

// Recorders, a member a line.
// clang-format off
class RecordingScreen final : public Screen {
public:
    RecordingScreen(Recorder& r, float w, float h) : r_(r), w_(w), h_(h) { ++r_.screensAlive; }
    ~RecordingScreen() override { --r_.screensAlive; }
    float Width() const override { r_.calls.push_back("screen.Width"); return w_; }
    float Height() const override { r_.calls.push_back("screen.Height"); return h_; }

private:
    Recorder& r_;
    float w_, h_;
};

class RecordingApplication final : public Application {
public:
    RecordingApplication(Recorder& r, float w, float h) : r_(r), w_(w), h_(h) {}
    std::unique_ptr<Screen> GetScreen() override
    {
        r_.calls.push_back("GetScreen");
        return std::make_unique<RecordingScreen>(r_, w_, h_);
    }

private:
    Recorder& r_;
    float w_, h_;
};

class RecordingForm final : public Form {
public:
    RecordingForm(Recorder& r, FormRect rect) : rect_(rect), r_(r) {}
    float Width() const override { r_.calls.push_back("form.Width"); return rect_.Width; }
    float Height() const override { r_.calls.push_back("form.Height"); return rect_.Height; }
    float Left() const override { return rect_.Left; }
    float Top() const override { return rect_.Top; }
    void SetLeft(float v) override { r_.calls.push_back("form.Left=" + std::to_string(v)); rect_.Left = v; }
    void SetTop(float v) override { r_.calls.push_back("form.Top=" + std::to_string(v)); rect_.Top = v; }
    FormRect rect_;

private:
    Recorder& r_;
};
// clang-format on

TEST(Centring, ReadsAndWritesInOrderWithAFreshScreenEachTime)
{
    Recorder r;
    RecordingApplication app(r, 12000, 9000);
    RecordingForm form(r, {5000, 3000, 0, 0});
    CentreOnLoad(form, app);
    const std::vector<std::string> expected = {"form.Width",  "GetScreen", "screen.Width",  "form.Left=3500.000000",
                                               "form.Height", "GetScreen", "screen.Height", "form.Top=3000.000000"};
    EXPECT_EQ(r.calls, expected);
    EXPECT_EQ(r.screensAlive, 0);
}

struct CentringCase {
    FormRect form;
    float screenWidth, screenHeight;
    float left, top;
};

TEST(Centring, HalvesTheDifferenceWithoutRounding)
{
    const CentringCase cases[] = {
        {{5000, 3000, 0, 0}, 12000, 9000, 3500, 3000},
        {{5001, 3001, 0, 0}, 12000, 9000, 3499.5f, 2999.5f},
        {{20000, 12000, 0, 0}, 12000, 9000, -4000, -1500},  // larger than the screen
        {{4545, 2175, 77, 99}, 15360, 11520, 5407.5f, 4672.5f},
        {{12000, 9000, 5, 5}, 12000, 9000, 0, 0},
        // In single precision 16777216 - 0.5 is 16777216 (in double it would
        // leave 8388607.75).
        {{0.5f, 0.5f, 0, 0}, 16777216, 16777216, 8388608, 8388608},
    };
    for (const auto& c : cases) {
        Recorder r;
        RecordingApplication app(r, c.screenWidth, c.screenHeight);
        RecordingForm form(r, c.form);
        CentreOnLoad(form, app);
        EXPECT_FLOAT_EQ(form.rect_.Left, c.left);
        EXPECT_FLOAT_EQ(form.rect_.Top, c.top);
        EXPECT_EQ(form.rect_.Width, c.form.Width);
        EXPECT_EQ(form.rect_.Height, c.form.Height);
    }
}

TEST(Centring, CentresAgainOnEveryLoad)
{
    Recorder r;
    RecordingApplication app(r, 12000, 9000);
    FormRect rect{5000, 3000, 0, 0};
    RectForm form(rect);
    CentreOnLoad(form, app);
    rect.Left = rect.Top = 10;
    CentreOnLoad(form, app);
    EXPECT_EQ(rect.Left, 3500);
    EXPECT_EQ(rect.Top, 3000);
}

// A dialog on screen, scripted: what the boxes hold, and what happened.
class ScriptedView final : public LoginView {
public:
    std::u16string name, password;
    std::vector<std::string> events;

    std::u16string UserName() override
    {
        events.push_back("read name");
        return name;
    }
    std::u16string Password() override
    {
        events.push_back("read password");
        return password;
    }
    void FocusUserName() override { events.push_back("focus name"); }
    void FocusPassword() override { events.push_back("focus password"); }
    void Hide() override { events.push_back("hide"); }
    void ShowMessage(std::u16string_view text, int style) override
    {
        events.push_back(std::string(text == kUserNameMissing   ? "message name"
                                     : text == kPasswordMissing ? "message password"
                                                                : "message ?") +
                         " style " + std::to_string(style));
    }
};

struct OkCase {
    const char* name;
    std::u16string user, password;
    Flag before, after;
    std::vector<std::string> events;
};

TEST(Login, ConfirmValidatesInOrder)
{
    const OkCase cases[] = {
        {"both empty", u"", u"", kFalse, kFalse, {"read name", "message name style 0", "focus name"}},
        {"password empty",
         u"ann",
         u"",
         kFalse,
         kFalse,
         {"read name", "read password", "message password style 0", "focus password"}},
        {"name empty", u"", u"pw", kFalse, kFalse, {"read name", "message name style 0", "focus name"}},
        {"refusal keeps True", u"", u"pw", kTrue, kTrue, {"read name", "message name style 0", "focus name"}},
        {"both filled", u"ann", u"pw", kFalse, kTrue, {"read name", "read password", "hide"}},
        {"blanks count", u" ", u"  ", kFalse, kTrue, {"read name", "read password", "hide"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedView view;
        view.name = c.user;
        view.password = c.password;
        LoginDialog dialog{c.before};
        dialog.cmdOK_Click(view);
        EXPECT_EQ(dialog.bOK, c.after);
        EXPECT_EQ(view.events, c.events);
    }
}

TEST(Login, CancelClearsTheFlagAndHides)
{
    ScriptedView view;
    view.name = u"ann";
    view.password = u"pw";
    LoginDialog dialog;
    EXPECT_EQ(dialog.bOK, 0);
    dialog.cmdOK_Click(view);
    EXPECT_EQ(dialog.bOK, -1);
    view.events.clear();
    dialog.cmdCancel_Click(view);
    EXPECT_EQ(dialog.bOK, 0);
    EXPECT_EQ(view.events, std::vector<std::string>{"hide"});
}

TEST(RuntimeError, NamesWhatFailedAndTheCodeAsThePlatformWritesIt)
{
    using Kind = ErrorCode::Kind;
    const struct {
        ErrorCode code;
        std::u16string_view text;
    } cases[] = {
        {{Kind::LastError, 8}, u"Run-time error: GetDC failed (error 8)."},
        {{Kind::LastError, 0}, u"Run-time error: GetDC failed (error 0)."},
        {{Kind::LastError, 4294967295u}, u"Run-time error: GetDC failed (error 4294967295)."},
        {{Kind::Hresult, 0x800A01E1u}, u"Run-time error: GetDC failed (error 0x800A01E1)."},
        {{Kind::Hresult, 0x1u}, u"Run-time error: GetDC failed (error 0x00000001)."},
    };
    for (const auto& c : cases) EXPECT_EQ(RuntimeErrorText(u"GetDC", c.code), c.text);
}

}  // namespace
}  // namespace kestrel::forms
