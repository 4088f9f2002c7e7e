#pragma once
// Files and folders dropped on a window, as the actions take them: local paths, absolute,
// each once. Anything else dropped (a web address, text) is not taken.

#include <QDragEnterEvent>
#include <QDropEvent>
#include <string>
#include <vector>

std::vector<std::string> DroppedFiles(const QMimeData* data);
// Whether the drag carries at least one local file or folder; accepts it when so.
bool AcceptFileDrag(QDragMoveEvent* event);
