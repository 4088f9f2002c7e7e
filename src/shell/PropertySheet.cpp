#include "shell/PropertySheet.h"

#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/Messages.h"

bool PropertyPage::Click(int id) {
    for (AttributeBox& box : m_boxes) {
        if (box.id != id) continue;
        if (!box.enabled) return false;
        box.checked = !box.checked;
        m_modified = true;
        return true;
    }
    return false;
}

void PropertyPage::AddBox(int id, std::string caption, char letter, bool checked, bool enabled) {
    m_boxes.push_back({id, std::move(caption), letter, checked, enabled});
}

bool PropertyPage::Checked(int id) const {
    for (const AttributeBox& box : m_boxes)
        if (box.id == id) return box.checked;
    return false;
}

std::vector<std::string> CPropertySheet::Lines() const {
    std::vector<std::string> out;
    for (const auto& page : m_pages) {
        out.push_back("[" + page->Caption() + "]");
        for (const SheetLine& line : page->Lines()) {
            std::string text = line.label.empty() ? line.value : line.label + " " + line.value;
            if (!line.extra.empty()) text += " " + line.extra;
            out.push_back(text);
        }
        for (const AttributeBox& box : page->Boxes())
            out.push_back(Format("[%s] %s (%c)%s", box.checked ? "x" : " ", box.caption.c_str(), box.letter,
                                 box.enabled ? "" : MessageText(msg::shell::Unavailable).c_str()));
    }
    return out;
}

bool CPropertySheet::HasInput() const {
    for (const auto& page : m_pages)
        for (const AttributeBox& box : page->Boxes())
            if (box.enabled) return true;
    return false;
}

bool CPropertySheet::ParseWords(const std::string& words, std::vector<std::pair<char, bool>>& changes) const {
    std::string word;
    auto take = [&]() {
        if (word.empty()) return true;
        bool ok = word.size() == 2 && (word[0] == '+' || word[0] == '-');
        bool found = false;
        for (const auto& page : m_pages)
            for (const AttributeBox& box : page->Boxes())
                if (ok && !found && box.letter == word[1]) {
                    found = true;
                    ok = box.enabled;
                }
        if (!ok || !found) return false;
        changes.emplace_back(word[1], word[0] == '+');
        word.clear();
        return true;
    };
    for (char c : words) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!take()) return false;
        } else {
            word += c;
        }
    }
    return take();
}

bool CPropertySheet::ChangeAttributes(const std::string& words) {
    std::vector<std::pair<char, bool>> changes;
    if (!ParseWords(words, changes)) return false;
    for (const auto& [letter, on] : changes) {
        for (const auto& page : m_pages) {
            const AttributeBox* box = nullptr;
            for (const AttributeBox& b : page->Boxes())
                if (b.letter == letter) box = &b;
            if (box == nullptr) continue;
            if (box->checked != on) page->Click(box->id);
            break;
        }
    }
    return true;
}

void CPropertySheet::SetInput(std::string_view text) {
    m_input = text;
    std::vector<std::pair<char, bool>> changes;
    m_inputValid = ParseWords(m_input, changes);
}

int CPropertySheet::ApplyPages() {
    int result = 1;
    for (const auto& page : m_pages)
        if (page->IsModified() && page->Apply() != 1) result = 0;
    return result;
}

int CPropertySheet::Press(int id) {
    if (id != IDOK) return IDCANCEL;
    if (!m_inputValid) return IDCANCEL;
    ChangeAttributes(m_input);
    ApplyPages();
    return IDOK;
}
