#pragma once
// Property sheets: pages of labelled lines and attribute check boxes, shown through the UI
// host as one dialog. A host renders the pages' lines and boxes; the person changes boxes and
// ends the sheet with OK (every modified page applies its changes) or Cancel.
//
// As an entry, a sheet takes attribute changes as words: "+r" / "-r" (只读), "+h" / "-h"
// (隐藏), "+a" / "-a" (存档), "+s" / "-s" (系统), separated by blanks or commas. A word
// that sets a box to the state it has changes nothing; a word for a disabled or missing box
// makes the entry invalid (OK cannot be pressed). Each change is a click on the box of the
// first page that has one. On this system only 只读 is ever enabled: 隐藏 follows the name,
// 存档 is every file's and 系统 is no file's.

#include <memory>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/UiHost.h"
#include "shell/Messages.h"

// One line of a page: a label (may be empty) and one or two values.
struct SheetLine {
    SheetLine(std::string l, std::string v, std::string e = {})
        : label(std::move(l)), value(std::move(v)), extra(std::move(e)) {}
    std::string label;
    std::string value;
    std::string extra;  // a second value on the same row ("(1.21 KB)"), may be empty
};

struct AttributeBox {
    int id;
    std::string caption;
    char letter;  // the word letter: 'r', 'h', 'a', 's'
    bool checked = false;
    bool enabled = true;
};

class PropertyPage {
public:
    virtual ~PropertyPage() = default;
    virtual int TemplateId() const = 0;
    virtual std::string Caption() const = 0;
    virtual std::vector<SheetLine> Lines() const = 0;
    const std::vector<AttributeBox>& Boxes() const { return m_boxes; }
    // A click on a box: toggles it and marks the page modified. False for a disabled or
    // unknown box.
    bool Click(int id);
    bool IsModified() const { return m_modified; }
    // Writes a modified page's changes, showing its own message for every failure. 1 when
    // everything was applied.
    virtual int Apply() { return 1; }

protected:
    void AddBox(int id, std::string caption, char letter, bool checked, bool enabled);
    bool Checked(int id) const;

    std::vector<AttributeBox> m_boxes;
    bool m_modified = false;
};

class CPropertySheet : public DialogModel {
public:
    explicit CPropertySheet(std::string title) : m_title(std::move(title)) {}
    void AddPage(std::unique_ptr<PropertyPage> page) { m_pages.push_back(std::move(page)); }
    const std::vector<std::unique_ptr<PropertyPage>>& Pages() const { return m_pages; }

    // Applies change words (see the top of this file) as clicks; false, with nothing
    // changed, when a word is invalid.
    bool ChangeAttributes(const std::string& words);
    // What OK does: every modified page applies. 1 when all of them succeeded.
    int ApplyPages();

    std::string Kind() const override { return "properties"; }
    int TemplateId() const override { return m_pages.empty() ? 0 : m_pages.front()->TemplateId(); }
    std::string Title() const override { return m_title; }
    // Every page: its caption in brackets, its lines, and its boxes as "[x] 只读 (r)".
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override {
        return {{IDOK, MessageText(msg::shell::SheetOk), "ok"},
                {IDCANCEL, MessageText(msg::shell::SheetCancel), "cancel"}};
    }
    int DefaultButton() const override { return IDOK; }
    bool HasInput() const override;
    std::string InputLabel() const override { return MessageText(msg::shell::SheetInput); }
    std::string Input() const override { return m_input; }
    void SetInput(std::string_view text) override;
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override { return id != IDOK || m_inputValid; }
    int Press(int id) override;
    int Close() override { return IDCANCEL; }

private:
    bool ParseWords(const std::string& words, std::vector<std::pair<char, bool>>& changes) const;

    std::string m_title;
    std::vector<std::unique_ptr<PropertyPage>> m_pages;
    std::string m_input;
    bool m_inputValid = true;
};
