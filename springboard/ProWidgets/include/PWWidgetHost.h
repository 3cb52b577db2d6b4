#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PWCallLog.h"
#include "PWWidget.h"
#include "UIColor.h"

// The host's side of one widget: what the plug-in asked of it (title,
// colours, messages, pages, the open prompt, dismissal) and the log its calls
// go to. PWWidget's operations record themselves here and update this state;
// the host (PWHost) reads it and acts on it between calls into the plug-in.
class PWWidgetHost {
public:
    // A prompt the user has not answered yet.
    struct Prompt {
        std::string message;
        std::string title;
        std::string buttonTitle;
        std::optional<std::string> defaultValue;
        long style = 0;
    };

    // `widget` owns this object. Until attach the widget logs to a log of its
    // own and has no bundle.
    explicit PWWidgetHost(PWWidget& widget);
    ~PWWidgetHost();

    // Connects the widget to a host: the log its calls (and its pages' and
    // items' calls) go to, and the bundle directory its pages' layouts are
    // read from.
    void attach(std::shared_ptr<PWCallLog> calls, std::optional<std::string> bundlePath);
    const std::shared_ptr<PWCallLog>& calls() const { return calls_; }
    const std::optional<std::string>& bundlePath() const { return bundlePath_; }

    const std::optional<std::string>& title() const { return title_; }
    const std::optional<UIColor>& preferredTintColor() const { return tint_; }
    const std::optional<UIColor>& preferredBarTextColor() const { return barText_; }
    const std::vector<std::string>& messages() const { return messages_; }
    bool dismissRequested() const { return dismissRequested_; }

    // The pushed pages, bottom first; the user sees the last one.
    const std::vector<std::shared_ptr<PWContentItemViewController>>& pages() const { return pages_; }
    std::shared_ptr<PWContentItemViewController> topPage() const;
    // The pages pushed but not yet handed out, for the host to load; each
    // page is handed out once.
    std::vector<std::shared_ptr<PWContentItemViewController>> takePagesToLoad();

    const std::optional<Prompt>& openPrompt() const { return prompt_; }
    // Closes the open prompt and hands over its completion, so it can run
    // only once; nullptr when no prompt is open.
    PWWidget::PromptCompletion takePromptCompletion();

    // PWWidget's operations.
    void setTitle(const std::string& title);
    void setPreferredTintColor(const UIColor& color);
    void setPreferredBarTextColor(const UIColor& color);
    void pushViewController(const std::shared_ptr<PWContentItemViewController>& page, bool animated);
    void showMessage(const std::string& text);
    void dismiss();
    void prompt(const std::string& message, const std::string& title, const std::string& buttonTitle,
                const std::optional<std::string>& defaultValue, long style, PWWidget::PromptCompletion completion);

private:
    std::shared_ptr<PWCallLog> calls_;
    std::optional<std::string> bundlePath_;
    std::optional<std::string> title_;
    std::optional<UIColor> tint_;
    std::optional<UIColor> barText_;
    std::vector<std::string> messages_;
    bool dismissRequested_ = false;
    std::vector<std::shared_ptr<PWContentItemViewController>> pages_;
    std::size_t pagesHandedOut_ = 0;
    std::optional<Prompt> prompt_;
    PWWidget::PromptCompletion completion_;
};
