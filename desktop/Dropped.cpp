#include "Dropped.h"

#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <filesystem>

std::vector<std::string> DroppedFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        std::string path = std::filesystem::path(url.toLocalFile().toStdString()).lexically_normal().string();
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        if (std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
    }
    return files;
}

bool AcceptFileDrag(QDragMoveEvent* event) {
    if (DroppedFiles(event->mimeData()).empty()) return false;
    event->acceptProposedAction();
    return true;
}
