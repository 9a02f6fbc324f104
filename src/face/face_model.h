// What a face shows and asks, from what the engine reports: the tray icon and its hint, the two
// menus' entries, which commands this person may use, the balloons and message boxes, and the
// request behind each command. Portable, so that all of it runs in native tests; the Windows face
// (face_window_win.h) only draws it and carries the messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/dialog_types.h"
#include "face/face_dialogs.h"
#include "remote/protocol.h"
#include "shell/main_view.h"

namespace dv::face {

inline constexpr std::u16string_view kNotRunningHint = u"Dockvane service is not running";
inline constexpr int kSlots = 12;
// The notification area shows no more of a balloon's text; a longer one is cut here rather than by
// the shell, so that no half character is left.
inline constexpr std::size_t kMaxBalloonText = 255;
// Boxes from the engine wait while one is open; past this many the oldest waiting one is dropped,
// so that an engine that sends box after box cannot pile up windows or memory.
inline constexpr std::size_t kMaxWaitingBoxes = 4;

enum class TFaceIcon { Idle, Available, Activity, NotRunning };

// What the face knows of its own token.
struct TFaceToken {
    // The Administrators group is enabled in the token (not for deny only).
    bool AdministratorsEnabled = false;
    // The token is elevated (TokenElevation), or the system has no user account control.
    bool Elevated = false;
    // A filtered token of an administrator: an elevated one can be had with consent
    // (TokenElevationTypeLimited).
    bool ElevationAvailable = false;
};

// How this person's changes reach the engine.
enum class TChangeRight {
    Direct,   // the engine takes them from this face as it runs
    Consent,  // each goes through an elevated helper, after the system asked for consent
    None,     // changes are shown disabled
};
TChangeRight ChangeRightOf(const TFaceToken& token);

enum class TFaceCommand {
    Header,
    Host,
    Add,
    Modify,
    Settings,
    Help,
    About,
    Exit,
    DomainUser,
    Eject,
    RenewPassword,
    CheckForUpdate,
    AutoPlay,
    Autostart,
};

// Whether the command changes something of the engine's, which needs an administrator.
bool IsChange(TFaceCommand command);
// Whether the face offers the command: a change needs the right and an engine to send it to.
bool CommandEnabled(TFaceCommand command, TChangeRight right, bool connected);
// Whether its control carries the shield: it asks for consent when chosen.
bool CommandShowsShield(TFaceCommand command, TChangeRight right, bool connected);

struct TFaceSlot {
    std::u16string Caption;
    bool Visible = false;
    char16_t Letter = 0;
};

// The two menus as the tray menu shows them.
struct TFaceMenus {
    std::array<TFaceSlot, kSlots> Modify{};
    std::array<TFaceSlot, kSlots> Eject{};
    std::u16string AddCaption;
    bool DomainUserVisible = false;
    TPopupMenu RightClick = TPopupMenu::Tray;
};
// `computer`: the NetBIOS name the Modify entries show in the share's path.
TFaceMenus MenusOf(const std::optional<remote::TStatus>& status, std::u16string_view computer);

struct TShownBalloon {
    std::u16string Text;
    TBalloonIcon Icon = TBalloonIcon::Information;
    bool operator==(const TShownBalloon&) const = default;
};
struct TShownBox {
    std::u16string Text;
    TMessageIcon Icon = TMessageIcon::Error;
    bool operator==(const TShownBox&) const = default;
};

// Cut to at most `limit` UTF-16 units, never inside a surrogate pair.
std::u16string Bounded(std::u16string_view text, std::size_t limit);

// What one message from the engine asks of the window.
struct TFaceEffects {
    std::optional<TShownBalloon> Balloon;
    std::optional<TSoundBox> Sound;  // the person's sound for this event
    bool IconChanged = false;
    bool MenusChanged = false;
    bool AskStatus = false;  // send get-status: the pool changed
    bool BoxWaiting = false;
    // The engine answered all that a dialog asked for: it opens now (TakeDialog).
    bool DialogReady = false;
    // The AutoPlay dialog for a drive that arrived.
    std::optional<remote::TAutoPlay> AutoPlay;
    // The domain user dialog, as the engine asks when the computer's account is to be entered.
    bool DomainUser = false;
};

class TFaceModel {
public:
    // Before the first connection the icon is idle: the face has not yet found the engine away.
    TFaceModel() = default;

    bool Connected() const { return connected_; }
    TFaceIcon Icon() const;
    std::u16string_view Hint() const;
    const std::optional<remote::TStatus>& Status() const { return status_; }

    void OnConnected();
    // The pipe is gone: the engine stopped, or said what does not decode.
    void OnDisconnected();
    // A request went out under `id`; its reply is read for what it answers.
    void OnSent(std::uint32_t id, remote::TKind kind);
    TFaceEffects OnMessage(const remote::TMessage& message);

    // The box to show next, oldest first.
    std::optional<TShownBox> TakeBox();

    // The request of a menu entry: the Eject slot's drive. Nothing for a slot not shown.
    std::optional<remote::TBody> EjectRequest(int slot) const;
    // The drive of a Modify entry; nothing for a slot not shown.
    std::optional<char16_t> ModifyLetter(int slot) const;

    // What to ask the engine before `dialog` opens (Modify's drive `letter`, or Add's plugged drives;
    // the passwords it shows when `withPasswords`). Nothing while a dialog is asked for or open: one
    // at a time, and a second request leaves the open one alone.
    std::optional<std::vector<remote::TBody>> AskForDialog(TFaceDialog dialog, TMode mode, char16_t letter,
                                                           bool withPasswords);
    // After the asks went out (each through OnSent): whether the dialog may open now, as nothing is
    // awaited. Nothing went out, with no engine to answer: nothing opens, and a dialog may be asked
    // for again.
    bool DialogAsked();
    // What the dialog shows, once the engine answered; the dialog counts as open until DialogClosed.
    std::optional<TDialogData> TakeDialog();
    void DialogClosed();

private:
    void QueueBox(TShownBox box);
    // A reply that answers what a dialog asked; true when it was one.
    bool OnDialogReply(std::uint32_t id, const remote::TBody& body, TFaceEffects& effects);

    enum class TDialogState { None, Asking, Ready, Open };
    TDialogState dialogState_ = TDialogState::None;
    TDialogData dialog_;
    std::map<std::uint32_t, remote::TKind> dialogAsks_;
    std::set<char16_t> dialogLetters_;

    bool connected_ = false;
    bool away_ = false;  // the engine was not there, or went
    remote::TTrayImage image_ = remote::TTrayImage::Idle;
    std::optional<remote::TStatus> status_;
    std::map<std::uint32_t, remote::TKind> pending_;
    std::deque<TShownBox> boxes_;
};

// The arguments of dockvane-cli that send `request` (started elevated for a person whose changes
// need consent); nothing for a request that changes nothing. A domain user's password is not among
// them: the cli reads it from a pipe of the face's (ElevatedCliPassword).
std::optional<std::u16string> ElevatedCliArguments(const remote::TBody& request);
// The password that goes to the elevated cli beside its arguments; nothing for a request without one.
std::optional<std::u16string> ElevatedCliPassword(const remote::TBody& request);
// One argument of a command line as CommandLineToArgvW reads it back: quoted when it is empty or
// holds a blank, a tab or a quote, with the backslashes before a quote doubled.
std::u16string QuotedArgument(std::u16string_view argument);

}  // namespace dv::face
