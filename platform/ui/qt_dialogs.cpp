#include "platform/ui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace platform {
namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A prompt as the box shows it: plain text whose line breaks may be CR, LF
// or CR LF (the program's texts break lines with a lone CR).
QString prompt_text(const std::string& s)
{
    QString t = q(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

struct Button {
    QMessageBox::StandardButton qt;
    int answer;
};

// The buttons of each button set, in order.
std::vector<Button> buttons_of(int style)
{
    switch (msgbox_buttons(style)) {
    case vbOKCancel: return {{QMessageBox::Ok, vbOK}, {QMessageBox::Cancel, vbCancel}};
    case vbAbortRetryIgnore:
        return {{QMessageBox::Abort, vbAbort}, {QMessageBox::Retry, vbRetry}, {QMessageBox::Ignore, vbIgnore}};
    case vbYesNoCancel: return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}, {QMessageBox::Cancel, vbCancel}};
    case vbYesNo: return {{QMessageBox::Yes, vbYes}, {QMessageBox::No, vbNo}};
    case vbRetryCancel: return {{QMessageBox::Retry, vbRetry}, {QMessageBox::Cancel, vbCancel}};
    default: return {{QMessageBox::Ok, vbOK}};
    }
}

QMessageBox::Icon icon_of(int style)
{
    switch (msgbox_icon(style)) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

} // namespace

int QtDialogs::show_msgbox(const std::string& prompt, int style, const std::string& title)
{
    QMessageBox box(parent_);
    box.setWindowTitle(title.empty() ? QStringLiteral("Trekfold") : q(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt_text(prompt));
    box.setIcon(icon_of(style));
    auto buttons = buttons_of(style);
    QMessageBox::StandardButtons set;
    for (const Button& b : buttons) set |= b.qt;
    box.setStandardButtons(set);
    int answer_default = msgbox_default_answer(style);
    for (const Button& b : buttons)
        if (b.answer == answer_default) box.setDefaultButton(b.qt);
    int clicked = box.exec();
    for (const Button& b : buttons)
        if (clicked == b.qt) return b.answer;
    // Closed with the window's close box: Cancel where there is one, else
    // the default answer.
    for (const Button& b : buttons)
        if (b.answer == vbCancel) return vbCancel;
    return answer_default;
}

bool QtDialogs::show_inputbox(const std::string& prompt, const std::string& title, const std::string& default_text,
                              std::string& answer)
{
    bool ok = false;
    QString text = QInputDialog::getText(parent_, title.empty() ? QStringLiteral("Trekfold") : q(title), q(prompt),
                                         QLineEdit::Normal, q(default_text), &ok);
    if (!ok) return false;
    answer = text.toStdString();
    return true;
}

bool QtDialogs::show_open(OpenFileRequest& request, std::string& path) { return show_file(request, path, false); }

bool QtDialogs::show_save(OpenFileRequest& request, std::string& path) { return show_file(request, path, true); }

bool QtDialogs::show_file(OpenFileRequest& request, std::string& path, bool save)
{
    // "description|patterns|..." to Qt's "description (patterns);;..."; a
    // description naming its patterns already is kept as it is.
    QStringList parts = q(request.filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1].replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << (parts[i].contains(QLatin1Char('(')) ? parts[i] : parts[i] + " (" + patterns + ")");
    }
    QString title = request.title.empty() ? (save ? QStringLiteral("Save As") : QStringLiteral("Open"))
                                          : q(request.title);
    QFileDialog dialog(parent_, title, q(request.initial_folder));
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The program asks its own question about an existing file (append,
    // overwrite or cancel): Qt's own replace question would come first.
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (request.filter_index >= 1 && request.filter_index <= filters.size())
        dialog.selectNameFilter(filters[request.filter_index - 1]);
    if (!request.default_ext.empty()) dialog.setDefaultSuffix(q(request.default_ext).remove(0, request.default_ext[0] == '.' ? 1 : 0));
    if (!request.file_name.empty()) dialog.selectFile(q(request.file_name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    if (qsizetype chosen = filters.indexOf(dialog.selectedNameFilter()); chosen >= 0)
        request.filter_index = int(chosen) + 1;
    return true;
}

QtCursor::~QtCursor()
{
    if (pointer_ == vbHourglass && QApplication::instance()) QApplication::restoreOverrideCursor();
}

void QtCursor::set_pointer(int pointer)
{
    bool was = pointer_ == vbHourglass;
    bool now = pointer == vbHourglass;
    pointer_ = pointer;
    if (was == now || !QApplication::instance()) return;
    if (now)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace platform
