// verify: each signature file checked against its file; the engine shows the report.

#include "Actions.h"
#include "Messages.h"
#include "engine/Korvane.h"

int VerifyFiles(ActionJob& job) {
    int result = 1;
    for (const std::string& path : job.files) {
        if (job.engine.Verify_One_File(path.c_str()) == 1) continue;
        ShowMessage(msg::desktop::NotVerified, path);
        result = 0;
    }
    return result;
}
