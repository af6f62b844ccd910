#include "fakes_ui.h"

#include <QDir>
#include <QFileInfo>

namespace kalmira::test {

static DialogResult answer(std::deque<QString> &queue) {
    if (queue.empty()) return {};
    QString path = queue.front();
    queue.pop_front();
    if (path.isEmpty()) return {};
    QFileInfo fi(path);
    QString folder = fi.path();
    if (!folder.endsWith('/')) folder += '/';
    return {folder, fi.fileName()};
}

DialogResult FakeFileDialogs::open(const DialogRequest &r) {
    openRequests.push_back(r);
    return answer(openAnswers);
}

DialogResult FakeFileDialogs::save(const DialogRequest &r) {
    saveRequests.push_back(r);
    return answer(saveAnswers);
}

bool FakeSound::play(const QString &path) {
    played << path;
    playing = hasOutput;
    return hasOutput;
}

TestServices::TestServices(Program program) {
    services.program = program;
    services.messages = &messages;
    services.dialogs = &dialogs;
    services.clipboard = &clipboard;
    services.desktop = &desktop;
    services.sound = &sound;
    services.pump = &pump;
    services.registry = &registry;
    services.exitProgram = [this](int code) { exits.push_back(code); };
}

} // namespace kalmira::test
