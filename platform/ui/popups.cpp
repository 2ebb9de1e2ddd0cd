// Modal pop-ups for a person; recorded and answered from a queue for tests
// (ui_test::SetScripted, or KALMIRA_SCRIPTED_POPUPS=1 for a whole program).
#include "popups.h"

#include "uistate.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

using namespace kui;

namespace {

struct FileAnswer {
    int result;
    std::string path;
};

bool scripted = [] {
    const char *e = std::getenv("KALMIRA_SCRIPTED_POPUPS");
    return e && std::strcmp(e, "1") == 0;
}();
std::deque<FileAnswer> fileAnswers;
std::vector<ui_test::Popup> popups;
int popupsLook = 0;

// A note goes away by itself after this long, unless the person closes it.
constexpr int kNoteMs = 8000;


// "*.i;*.q" or "*.cfg" → a name filter for the dialog.
QString NameFilter(const char *typeList)
{
    QString types = QString::fromUtf8(typeList ? typeList : "").trimmed();
    types.replace(';', ' ');
    return types.isEmpty() ? QString() : QString("Files (%1)").arg(types);
}

QString ButtonText(int button)
{
    switch (button) {
    case VAL_SAVE_BUTTON: return "&Save";
    case VAL_SELECT_BUTTON: return "S&elect";
    case VAL_LOAD_BUTTON: return "&Load";
    default: return "&OK";
    }
}

void SetUpFileDialog(QFileDialog &dlg, const char *defaultDir, const char *defaultSpec,
                     const char *typeList, int button, int restrictExt, int allowMakeDir)
{
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setOption(QFileDialog::ReadOnly, !allowMakeDir);
    const bool save = button == VAL_SAVE_BUTTON;
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(button == VAL_LOAD_BUTTON ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setLabelText(QFileDialog::Accept, ButtonText(button));
    if (defaultDir && *defaultDir)
        dlg.setDirectory(QString::fromUtf8(defaultDir));
    QStringList filters;
    const QString defaultName = QString::fromUtf8(defaultSpec ? defaultSpec : "");
    const QString listFilter = NameFilter(typeList);
    if (!listFilter.isEmpty())
        filters << listFilter;
    if (defaultName.contains('*') || defaultName.contains('?')) {
        const QString defaultFilter = NameFilter(defaultSpec);
        if (!filters.contains(defaultFilter))
            filters.prepend(defaultFilter);
    } else if (!defaultName.isEmpty()) {
        dlg.selectFile(defaultName);
    }
    if (!restrictExt || filters.isEmpty())
        filters << "All files (*)";
    dlg.setNameFilters(filters);
    // A name typed without extension gets the one the list asks for.
    const QString first = QString::fromUtf8(typeList ? typeList : "").section(';', 0, 0).trimmed();
    if (save && first.startsWith("*.") && !first.mid(2).contains('*') && !first.mid(2).contains('?'))
        dlg.setDefaultSuffix(first.mid(2));
}

}  // namespace

namespace kui {

QWidget *DialogParent()
{
    return QApplication::activeWindow();
}

bool PopupsScripted()
{
    return scripted;
}

void RecordPopup(ui_test::Popup p)
{
    AnnounceForTests("popup " + p.kind + " " + p.title);
    popups.push_back(std::move(p));
}

// Each pop-up's own loop ends; the call that opened it returns its cancel
// answer.  Dialogs that a pop-up opened itself (a file dialog's overwrite
// question) are windows of their own and close alike.
void ClosePopups()
{
    if (!IsInitialised())
        return;
    for (QWidget *w : QApplication::allWidgets())
        if (auto *dlg = qobject_cast<QDialog *>(w); dlg && dlg->isWindow() && dlg->isVisible())
            dlg->reject();
}

}  // namespace kui

int MessagePopup(const char *title, const char *message)
{
    if (QuitRequested())
        return 0;
    RecordPopup({"message", title ? title : "", message ? message : "", 0, {}});
    if (scripted || !IsInitialised())
        return 0;
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(title ? title : ""),
                    QString::fromUtf8(message ? message : ""), QMessageBox::Ok, DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return 0;
}

// One note window per title: a repeated note replaces the text of the one
// shown and starts its time again, so notes never pile up.
int NotePopup(const char *title, const char *message)
{
    if (QuitRequested())
        return 0;
    const std::string t = title ? title : "", m = message ? message : "";
    RecordPopup({"note", t, m, 0, {}});
    if (scripted || !IsInitialised())
        return 0;
    static std::map<std::string, QPointer<QMessageBox>> notes;
    QPointer<QMessageBox> &box = notes[t];
    if (!box) {
        box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(t), QString(), QMessageBox::Ok);
        box->setTextFormat(Qt::PlainText);
        box->setWindowModality(Qt::NonModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        // The person keeps typing where they were.
        box->setAttribute(Qt::WA_ShowWithoutActivating);
        auto *timer = new QTimer(box);
        timer->setObjectName("noteTimer");
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, box, &QWidget::close);
    }
    box->setText(QString::fromStdString(m));
    box->show();
    box->findChild<QTimer *>("noteTimer")->start(kNoteMs);
    return 0;
}

int FileSelectPopup(const char *defaultDir, const char *defaultSpec, const char *typeList,
                    const char *title, int button, int restrictDir, int restrictExt,
                    int allowCancel, int allowMakeDir, char *path)
{
    if (!path)
        return UIEInvalidValue;
    path[0] = '\0';
    if (QuitRequested())
        return VAL_NO_FILE_SELECTED;
    RecordPopup({"file", title ? title : "", defaultSpec ? defaultSpec : "", 0, {}});
    std::string chosen;
    int result = VAL_NO_FILE_SELECTED;
    // An answer a test queued stands for the person's choice, also when the
    // pop-ups are real.
    if (scripted || !IsInitialised() || !fileAnswers.empty()) {
        if (fileAnswers.empty())
            return VAL_NO_FILE_SELECTED;
        result = fileAnswers.front().result;
        chosen = fileAnswers.front().path;
        fileAnswers.pop_front();
    } else {
        QFileDialog dlg(DialogParent(), QString::fromUtf8(title ? title : ""));
        SetUpFileDialog(dlg, defaultDir, defaultSpec, typeList, button, restrictExt, allowMakeDir);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return VAL_NO_FILE_SELECTED;
        const QString f = dlg.selectedFiles().first();
        chosen = QFileInfo(f).absoluteFilePath().toStdString();
        result = QFileInfo(f).isFile() ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
    }
    if (result <= 0)
        return result;
    // The caller's buffer holds MAX_PATHNAME_LEN bytes: a longer path is an
    // error, never a cut-off name that points at another file.
    if (!CopyOut(chosen, path, MAX_PATHNAME_LEN)) {
        MessagePopup("Error", "The path of the chosen file is too long.");
        return UIEInvalidValue;
    }
    return result;
}

int SetSystemPopupsAttribute(int attr, int value)
{
    if (attr != ATTR_SYSTEM_POPUPS_LOOK)
        return UIEInvalidAttribute;
    popupsLook = value;
    return 0;
}

void CVI_Beep()
{
    RecordPopup({"beep", "", "", 0, {}});
    if (!scripted && IsInitialised())
        QApplication::beep();
}

namespace ui_test {

void SetScripted(bool on)
{
    scripted = on;
}

void QueueFileSelect(int result, const std::string &path)
{
    fileAnswers.push_back({result, path});
}

const std::vector<Popup> &Popups()
{
    return popups;
}

void ClearPopups()
{
    popups.clear();
    fileAnswers.clear();
}

}  // namespace ui_test
