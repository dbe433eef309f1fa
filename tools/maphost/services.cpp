// The host's browse dialog and window answers, for tests and for a person.
#include "tools/maphost/host.h"

#include <QInputDialog>

namespace maphost {

namespace {

namespace ao = platform::arcobjects;

class Headless : public ao::HostServices {
public:
    Headless(json_lines::ProbeDialogs& dialogs, std::function<void()> await)
        : dialogs_(dialogs), await_(std::move(await))
    {
    }

    std::optional<std::string> Browse(const ao::BrowseRequest& r) override
    {
        const std::string answer = next();
        json_lines::print_line({{"dialog", r.title}, {"filter", r.filter}, {"start", r.start}, {"answer", answer}});
        if (answer.empty()) return std::nullopt;
        return answer;
    }

    std::string Window_Answer(const std::string&) override { return next(); }

private:
    std::string next()
    {
        if (await_) await_();
        if (dialogs_.answers.empty()) return {};
        std::string a = dialogs_.answers.front();
        dialogs_.answers.pop_front();
        return a;
    }
    json_lines::ProbeDialogs& dialogs_;
    std::function<void()> await_;
};

class Interactive : public ao::HostServices {
public:
    std::optional<std::string> Browse(const ao::BrowseRequest& r) override
    {
        bool ok = false;
        const QString path =
            QInputDialog::getText(nullptr, QString::fromStdString(r.title),
                                  QString::fromStdString(r.filter + ": the dataset's full path"), QLineEdit::Normal,
                                  QString::fromStdString(r.start), &ok);
        if (!ok || path.isEmpty()) return std::nullopt;
        return path.toStdString();
    }
    // A person answers the window itself.
    std::string Window_Answer(const std::string&) override { return {}; }
};

} // namespace

std::unique_ptr<ao::HostServices> Headless_Services(json_lines::ProbeDialogs& dialogs, std::function<void()> await)
{
    return std::make_unique<Headless>(dialogs, std::move(await));
}

std::unique_ptr<ao::HostServices> View_Services() { return std::make_unique<Interactive>(); }

} // namespace maphost
