#include "service/logged_views.h"

#include "logging/logs.h"

namespace dv {

void TLoggedViews::ShowBalloon(std::u16string_view text, TBalloonIcon icon) {
    LogApp(icon == TBalloonIcon::Warning ? u"Balloon (warning)" : u"Balloon", text);
}

void TLoggedViews::ShowMessage(std::u16string_view text, TMessageIcon icon) {
    LogApp(icon == TMessageIcon::Information ? u"Message" : u"Message (warning or error)", text);
}

bool TLoggedViews::AskYesNo(std::u16string_view text, std::u16string_view) {
    LogApp(u"Question answered No", text);
    return false;
}

void TLoggedViews::SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) {
    Box(box).entries = entries;
}

std::vector<std::u16string> TLoggedViews::SoundEntries(TSoundBox box) const {
    return Box(box).entries;
}

void TLoggedViews::SelectSound(TSoundBox box, int index) {
    Box(box).selected = index;
}

int TLoggedViews::SelectedSound(TSoundBox box) const {
    return Box(box).selected;
}

}  // namespace dv
