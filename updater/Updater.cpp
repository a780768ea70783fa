#include "updater/Updater.h"

Updater::Updater(const char* url, const char* directory, UpdaterDisplayInterface& out)
    : serverUrl(url != nullptr ? url : ""), storageDirectory(directory != nullptr ? directory : ""), display(out) {}
