// A whole program driven by a test that starts it as a process, with real
// pop-ups.  KALMIRA_TEST_ACTIONS lists what a person does, separated by ';';
// the actions run one after another once the event loop runs, each through
// the same paths as the in-process tests' user actions:
//   menu=<item>              picks the menu item of that name
//   click=[<panel>/]<label>  presses the button of that label, on the panel
//                            whose title begins with <panel> when one is given
//   file=<path>              the next file dialog answers with this path
// Names are written without their mnemonic marks.  Every action, and every
// pop-up as it opens, is announced on standard error ("kalmira-test:
// click=Load IQ", "kalmira-test: popup message About"), so that the test
// knows where the program is; an action that finds nothing to act on is
// announced as "failed".
#include "uistate.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kui;

namespace {

const char *Script()
{
    return std::getenv("KALMIRA_TEST_ACTIONS");
}

std::vector<std::string> Split(const std::string &text, char sep)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(sep, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

bool PickMenu(const std::string &item)
{
    for (auto &[handle, bar] : MenuBars())
        for (auto &[id, entry] : bar->entries)
            if (!entry.isMenu && PlainLabel(entry.name).toStdString() == item)
                return ui_test::UserMenu(handle, id) == 0;
    return false;
}

bool PressButton(const std::string &where)
{
    const size_t slash = where.find('/');
    const std::string panel = slash == std::string::npos ? "" : where.substr(0, slash);
    const std::string label = slash == std::string::npos ? where : where.substr(slash + 1);
    for (auto &[handle, p] : Panels()) {
        if (p->title.rfind(panel, 0) != 0)
            continue;
        for (auto &c : p->ctrls)
            if (c->kind == CTRL_COMMAND_BUTTON && PlainLabel(c->labelText).toStdString() == label &&
                ui_test::UserClick(handle, c->id) == 0)
                return true;
    }
    return false;
}

bool Perform(const std::string &action)
{
    const size_t eq = action.find('=');
    const std::string verb = action.substr(0, eq), arg = eq == std::string::npos ? "" : action.substr(eq + 1);
    if (verb == "menu")
        return PickMenu(arg);
    if (verb == "click")
        return PressButton(arg);
    if (verb == "file") {
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, arg);
        return true;
    }
    return false;
}

// The next action waits until this one has returned: a load runs to its end
// (or its abort) before anything else is pressed.
void RunFrom(std::vector<std::string> actions, size_t k)
{
    if (k >= actions.size())
        return;
    AnnounceForTests(actions[k]);
    if (!Perform(actions[k]))
        AnnounceForTests("failed " + actions[k]);
    QTimer::singleShot(0, [actions = std::move(actions), k] { RunFrom(actions, k + 1); });
}

}  // namespace

namespace kui {

void AnnounceForTests(const std::string &what)
{
    if (Script())
        std::fprintf(stderr, "kalmira-test: %s\n", what.c_str());
}

void StartTestActions()
{
    static bool started = false;
    if (started || !Script())
        return;
    started = true;
    QTimer::singleShot(0, [] { RunFrom(Split(Script(), ';'), 0); });
}

}  // namespace kui
