#pragma once
// The UI host: the one way the engine talks to a person. The engine shows every message box,
// runs every dialog and pumps messages through the installed host; the embedding program
// installs its host (a terminal, a script, a window system). Dialog logic and texts live in
// dialog models; a host only presents a model and reports which button ended it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A button of a dialog: its control id, its caption, and the word that answers it in a script
// (see ScriptedHost), e.g. "yes", "all", "cancel".
struct DialogButton {
    int id;
    std::string caption;
    std::string answer;
};

// A modal dialog as data and behaviour. The host shows Title(), Lines() and, when HasInput(),
// an edit field; it then ends the dialog with Press(button) or Close(), whose result is the
// dialog's result. Press is only called for a button that CanPress() allows.
class DialogModel {
public:
    virtual ~DialogModel() = default;

    // The name under which scripts answer this dialog ("replace", "password", "folder", ...).
    virtual std::string Kind() const = 0;
    virtual int TemplateId() const = 0;
    virtual std::string Title() const = 0;
    virtual std::vector<std::string> Lines() const = 0;
    virtual std::vector<DialogButton> Buttons() const = 0;
    // The button pressed when the person confirms an entry (Enter); 0 when there is none.
    virtual int DefaultButton() const { return 0; }

    virtual bool HasInput() const { return false; }
    virtual bool MaskInput() const { return false; }
    virtual std::string InputLabel() const { return {}; }
    virtual std::string Input() const { return {}; }
    virtual void SetInput(std::string_view) {}
    // Why the entry as it stands cannot be confirmed, for a host that asks again; empty when
    // it can, or when the dialog gives no reason.
    virtual std::string EntryRefusal() const { return {}; }

    // The script word of the answer a dialog takes when nobody answers it; empty: Close().
    virtual std::string CancellingAnswer() const { return {}; }

    virtual bool CanPress(int) const { return true; }
    virtual int Press(int buttonId) = 0;
    // The window was closed without a button.
    virtual int Close() = 0;
};

// The visible side of a progress window; the progress dialog model drives it.
class IProgressView {
public:
    virtual ~IProgressView() = default;
    virtual void Update(int percent, const std::string& path) = 0;
    virtual void Finish() = 0;
};

class IUiHost {
public:
    virtual ~IUiHost() = default;
    // Shows a message box (MB_* type: buttons | icon) and returns the ID* of the answer.
    virtual int MessageBox(const std::string& text, unsigned type) = 0;
    // Shows message `id` of the message tables (see platform/Messages.h), its text already in
    // the reader's language. A host that tells messages apart by id overrides this one.
    virtual int NamedMessageBox(std::string_view id, const std::string& text, unsigned type) {
        (void)id;
        return MessageBox(text, type);
    }
    virtual int RunDialog(DialogModel& dialog) = 0;
    virtual std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) = 0;
    // Gives the host a chance to process its own events while the engine works.
    virtual void PumpEvents() {}
    // The bytes a block loop has just moved (read, enciphered, written); a host may show the
    // progress within a long file with it.
    virtual void WorkDone(uint64_t) {}
    // Whether the person asked to stop the operation (a progress window's Cancel). The block
    // loops ask after each block and end the file as a failure already reported, so the pass
    // takes its failure path: nothing half-written stays.
    virtual bool StopRequested() const { return false; }

    // The file a batch is working on: a host that prints messages as lines names it in each
    // ("varnex: FILE: TEXT"); empty when there is none. The engine's texts stay as they are.
    void SetSubject(std::string file) { m_subject = std::move(file); }
    const std::string& Subject() const { return m_subject; }

private:
    std::string m_subject;
};

// The host of the engine call running on this thread (see engine/EngineContext.h), else the
// installed host; never null (a terminal host is installed until another one is).
IUiHost& UiHost();
// Installs `host` (not owned; it must outlive its installation) and returns the one it
// replaces. Passing null restores the default terminal host. Install before engines run on
// other threads: an engine that must not share the installed host is given its own.
IUiHost* InstallUiHost(IUiHost* host);
// Binds `host` to the calling thread (null: the installed one) and returns the one bound
// before. Only the engine's call binding uses it.
IUiHost* BindThreadUiHost(IUiHost* host);

// A host that shows nothing: every message box takes its cancelling answer, every dialog is
// closed, no progress is drawn. For a pass whose outcome alone counts, when the pass that
// follows reports whatever is wrong to the user.
class QuietHost : public IUiHost {
public:
    int MessageBox(const std::string& text, unsigned type) override;
    int RunDialog(DialogModel& dialog) override { return dialog.Close(); }
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override;
};

// Installs a host for the lifetime of a scope and restores the previous one (process-wide).
class ScopedUiHost {
public:
    explicit ScopedUiHost(IUiHost& host) : m_previous(InstallUiHost(&host)) {}
    ~ScopedUiHost() { InstallUiHost(m_previous); }
    ScopedUiHost(const ScopedUiHost&) = delete;
    ScopedUiHost& operator=(const ScopedUiHost&) = delete;

private:
    IUiHost* m_previous;
};
