#include "SpringBoardSession.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "AllocatorPolicy.h"
#include "DeviceBuilder.h"
#include "DeviceState.h"
#include "Loader.h"
#include "MainQueue.h"
#include "NSDistributedNotificationCenter.h"
#include "NotificationPostListener.h"
#include "Client.h"
#include "OBJCIPC.h"
#include "PWWidgetItemListValue.h"
#include "Platform.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

// How long an `ipc` line waits for SpringBoard's reply.
constexpr double kIPCTimeoutSeconds = 5.0;

Json jsonFromCallField(const PWCallField& field) {
    if (const auto* color = std::get_if<UIColor>(&field)) return jsonFromColor(*color);
    return jsonFromValue(std::get<Value>(field));
}

}  // namespace

bool isDevice(const std::string& directory) {
    std::error_code ec;
    return fs::is_directory(fs::path(directory) / "var/mobile", ec) && fs::is_directory(fs::path(directory) / "Applications", ec);
}

std::optional<std::string> deviceProblem(const std::string& device) {
    std::error_code ec;
    if (!fs::is_directory(device, ec))
        return "no device at " + device + " (make one with: velmora-sim device create DIR --clear)";
    // Booting writes into the device (its IPC socket, the app in front), so a
    // directory that is no device, such as a mistyped home directory, is left alone.
    if (!isDevice(device))
        return device + " is not a device: it has no var/mobile and Applications directories (make one with: velmora-sim device create DIR --clear)";
    return std::nullopt;
}

std::unique_ptr<SpringBoardSession> SpringBoardSession::boot(const std::string& device, Trace& trace,
                                                             std::string* error) {
    if (auto problem = deviceProblem(device)) {
        if (error) *error = *problem;
        return nullptr;
    }
    std::unique_ptr<SpringBoardSession> session(new SpringBoardSession(fs::absolute(device).string(), trace));
    std::string why;
    session->lock_ = DeviceLock::acquire(session->device_, DeviceLock::Purpose::Serve, &why);
    if (!session->lock_) {
        if (error) *error = "cannot start SpringBoard on " + device + ": " + why;
        return nullptr;
    }
    if (!session->start(error)) return nullptr;
    return session;
}

bool SpringBoardSession::start(std::string* errorText) {
    // The trace carries every log line; the terminal needs no second copy.
    springboard::setLogToStandardError(false);
    logSink_ = springboard::addLogSink([this](const std::string& text) { trace_.emit("log", Json{{"text", text}}); });
    postListener_ = springboard::addNotificationPostListener(
        [this](const std::string& name, const std::optional<Dictionary>& userInfo) {
            trace_.emit("post", Json{{"name", name}, {"userInfo", userInfo ? jsonFromValue(Value(*userInfo)) : Json(nullptr)}});
        });

    services_ = SpringBoardServices::boot(device_);
    tracer_ = std::make_shared<SpringBoardTracer>(trace_);
    for (const auto& app : services_->registry()->applications()) {
        if (app->identifier() == kClearIdentifier || app->identifier() == kClearPlusIdentifier)
            tracer_->addClearApp(ClearApp(app->identifier(), fs::path(app->bundlePath()).parent_path().string()));
    }
    services_->controller()->setLookupListener([this](const std::string& identifier, bool found) {
        trace_.emit("lookup", Json{{"identifier", identifier}, {"found", found}});
    });

    // Where the user left the device; set before listening, as it is no change.
    std::string front = readFrontApplication(device_);
    services_->application()->setFrontMostApplication(services_->registry()->applicationWithIdentifier(front));
    services_->application()->setEvents(tracer_);
    auto current = services_->application()->frontMostApplication();
    trace_.emit("boot", Json{{"front", current ? current->identifier() : std::string(kSpringBoardIdentifier)}});

    objcipc::IPCServer::Options serving;
    serving.whenIdle = giveBackFreedMemory;
    ipc_ = objcipc::IPCServer::start(device_, serving, errorText);
    if (!ipc_) return false;

    for (const auto& library : loadDynamicLibraries((fs::path(device_) / kDynamicLibrariesDirectory).string(),
                                                    ProcessIdentity{kSpringBoardIdentifier, "SpringBoard"})) {
        trace_.emit("substrate", Json{{"library", library.name}, {"loaded", library.loaded}});
        if (library.admitted && !library.loaded) error("cannot load " + library.name + ": " + library.error);
    }

    host_ = std::make_unique<PWHost>();
    host_->calls()->addListener([this](const PWCallRecord& record) {
        Json fields = Json::object();
        for (const auto& [name, field] : record.fields) fields[name] = jsonFromCallField(field);
        trace_.emit(record.name, fields);
    });
    std::vector<fs::path> bundles;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(device_) / kWidgetsDirectory, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec)) bundles.push_back(it->path());
    std::sort(bundles.begin(), bundles.end());
    bool loaded = false;
    for (const auto& bundle : bundles) {
        if (loaded) break;
        PWResult result = host_->loadBundle(bundle.string());
        trace_.emit("widgetBundle", Json{{"bundle", bundle.filename().string()}, {"loaded", result.ok()}});
        if (!result) error("cannot load widget " + bundle.filename().string() + ": " + result.error());
        loaded = result.ok();
    }
    drain();
    return true;
}

std::optional<std::string> SpringBoardSession::saveState() {
    if (!services_) return std::nullopt;
    stateSaved_ = true;
    auto front = services_->application()->frontMostApplication();
    if (!writeFrontApplication(device_, front ? front->identifier() : std::string(kSpringBoardIdentifier)))
        return "cannot record the app in front in " + (fs::path(device_) / kSimStateFile).string() +
               " (is the disk full or the device read-only?)";
    return std::nullopt;
}

SpringBoardSession::~SpringBoardSession() {
    if (host_) host_.reset();  // destroys an open widget while the platform is still up
    if (services_) {
        if (!stateSaved_) saveState();
        services_->application()->setEvents(nullptr);
        services_->controller()->setLookupListener(nullptr);
    }
    if (ipc_) ipc_->stop();
    postListener_.reset();
    logSink_.reset();
}

void SpringBoardSession::drain() { springboard::drainMainQueue(); }

void SpringBoardSession::error(const std::string& text) {
    Json fields{{"text", text}};
    if (line_ > 0) fields["line"] = line_;
    if (line_ > 0 && !scriptName_.empty()) fields["script"] = scriptName_;
    trace_.emit("error", fields);
}

void SpringBoardSession::check(const PWResult& result) {
    if (!result) error(result.error());
}

void SpringBoardSession::execute(const ScriptCommand& command) {
    line_ = command.line;
    switch (command.kind) {
        case CommandKind::Front: front(command.argument); break;
        case CommandKind::Open: check(host_->openWidget()); break;
        case CommandKind::Pick: pick(command.argument); break;
        case CommandKind::PickIndex: pickIndex(command.index); break;
        case CommandKind::Type: check(host_->userSetText("task", command.argument)); break;
        case CommandKind::Submit: check(host_->userSubmit()); break;
        case CommandKind::Answer: check(host_->answerPrompt(command.argument)); break;
        case CommandKind::Cancel: check(host_->cancelPrompt()); break;
        case CommandKind::Close: check(host_->closeWidget()); break;
        case CommandKind::Ipc: sendIPC(command.argument, command.payload); break;
        case CommandKind::Notify: notify(command.argument, command.payload); break;
        case CommandKind::Wait: break;
    }
    drain();
}

void SpringBoardSession::pick(const std::string& title) {
    PWResult result = host_->userSelectTitle("list", title);
    if (result) return;
    std::vector<std::string> titles = listTitles();
    if (titles.empty() || std::find(titles.begin(), titles.end(), title) != titles.end()) {
        error(result.error());
        return;
    }
    std::string choices;
    // Each choice as a pick line would take it.
    for (const auto& choice : titles) choices += (choices.empty() ? "" : " · ") + excerpt(quoteArgument(choice), 40);
    error("no choice titled " + excerpt(quoteArgument(title)) + "; the choices are: " + choices);
}

void SpringBoardSession::pickIndex(long long index) {
    const std::vector<std::string> titles = listTitles();
    if (!titles.empty() && index >= static_cast<long long>(titles.size())) {
        const std::string count = titles.size() == 1 ? "one choice" : std::to_string(titles.size()) + " choices";
        error("no choice " + std::to_string(index) + ": there " + (titles.size() == 1 ? "is " : "are ") + count +
              ", numbered from 0 (the last, " + std::to_string(titles.size() - 1) + ", is " +
              excerpt(quoteArgument(titles.back()), 40) + ")");
        return;
    }
    check(host_->userSelect("list", static_cast<std::size_t>(index)));
}

void SpringBoardSession::front(const std::string& identifier) {
    auto application = services_->application();
    if (identifier == "home" || identifier == kSpringBoardIdentifier) {
        application->setFrontMostApplication(nullptr);
        return;
    }
    auto app = services_->registry()->applicationWithIdentifier(identifier);
    if (!app) {
        error("no app " + excerpt(identifier) + " is installed on this device");
        return;
    }
    application->setFrontMostApplication(app);
}

void SpringBoardSession::sendIPC(const std::string& message, const nlohmann::json& payload) {
    Value request = valueFromJson(payload);
    const std::string root = springboard::deviceRoot();
    const auto result = objcipc::sendMessage(root, message, *request.asDictionary(), kIPCTimeoutSeconds);
    Json fields{{"message", message}, {"reply", result.reply ? jsonFromValue(Value(*result.reply)) : Json(nullptr)}};
    // SpringBoard's own error text when it answered with one, else what kept the reply away.
    if (!result.reply)
        fields["error"] = result.status == objcipc::SendResult::Status::ErrorReply ||
                                  result.status == objcipc::SendResult::Status::NoHandler
                              ? result.detail
                              : objcipc::describeFailure(result, root, message);
    trace_.emit("reply", fields);
}

void SpringBoardSession::notify(const std::string& name, const nlohmann::json& payload) {
    Value userInfo = valueFromJson(payload);
    NSDistributedNotificationCenter::defaultCenter()->postNotificationName(name, Value(), *userInfo.asDictionary());
}

std::vector<std::string> SpringBoardSession::listTitles() const {
    std::vector<std::string> titles;
    auto page = host_ ? host_->page() : nullptr;
    if (!page) return titles;
    auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(page->itemWithKey("list"));
    if (!list) return titles;
    for (const auto& title : list->listItemTitles()) titles.push_back(title.description());
    return titles;
}

std::vector<std::string> SpringBoardSession::installedApplications() const {
    std::vector<std::string> identifiers;
    for (const auto& app : services_->registry()->applications()) identifiers.push_back(app->identifier());
    return identifiers;
}

}  // namespace sim
