#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "UIColor.h"
#include "Value.h"

// The two bar colours of Clear's current theme, under exactly the keys
// "preferredTintColor" and "preferredBarTextColor".
using ThemeComponents = std::map<std::string, UIColor>;

// A clear reader: finds the installed Clear app and reads what Clear keeps
// beside its bundle (list titles, theme) plus the widget's own settings file.
//
// A reader holds only two strings and keeps nothing between questions; the
// one thing shared process-wide is the looked-up SBApplicationController
// class. Nothing here logs, throws or reports errors: every failure ends in
// an absent value, an empty list or the default palette.
//
// A reader is not synchronised; use each one from one thread at a time.
// Separate readers may be used on separate threads.
class VLDynamicReader {
public:
    // Asks SpringBoard's application registry for Clear
    // ("com.realmacsoftware.clear"), then always also for Clear+
    // ("com.realmacsoftware.clear.universal"); Clear wins when both are
    // installed. Both properties are taken from the chosen record and are
    // absent when neither app is installed or the process has no registry.
    // Never returns nullptr.
    static std::shared_ptr<VLDynamicReader> init();

    // A reader whose clearPath is `path`, unchecked and unchanged, and whose
    // clearIdentifier is absent. No lookup is made.
    static std::shared_ptr<VLDynamicReader> initWithPath(std::optional<std::string> path);

    // A reader whose clearPath is the string stored under "savedPath" in the
    // widget settings file; absent when the file is missing, unreadable, has
    // no dictionary root, has no such entry or the entry is not a string.
    static std::shared_ptr<VLDynamicReader> initWithSavedPath();

    // The theme components of the "ThemeIdentifier" stored in Clear's
    // preferences file, which lies beside the bundle directory "Clear.app"
    // named by clearPath. The default palette when anything on the way is
    // missing. Reads the file afresh on every call.
    ThemeComponents themeFromSettings() const;

    // The theme components for Clear theme identifier `key`: a fresh
    // dictionary of two colours. Only an exact, case-sensitive match of one
    // of Clear's 22 theme identifiers selects its colours; anything else
    // (other strings, non-strings, nil) and "THEME_WARMTH_ID" give the
    // default palette. "THEME_ANALOG_ID" draws its tint at random on every
    // call.
    static ThemeComponents themeComponentsFromKey(const Value& key);

    // The titles of Clear's lists, read from the task database that lies
    // beside the bundle directory "Clear.app" named by clearPath. Empty when
    // there is no path or nothing can be read.
    Array listsFromDatabase() const;

    // The `title` column of table `lists` in the SQLite database at `path`,
    // as strings, in the order SQLite returns the rows, duplicates and empty
    // titles kept. NULL titles and titles that are not valid UTF-8 are left out.
    // The database is opened read-only and never created; an absent path
    // opens nothing. Empty when the file cannot be opened or queried; when
    // a step fails midway (e.g. the database is locked), the titles read
    // before stay. The connection is closed before returning, on every path.
    Array parsedSQLiteListNamesForPath(const std::optional<std::string>& path) const;

    // Stores clearPath under "savedPath" in the widget settings file,
    // keeping every other entry of a readable file; an absent clearPath
    // removes the entry. The file is replaced atomically, so on failure the
    // old file stays as it was. An old file is replaced by a one-entry file
    // only when it is no property list at all or its root is no dictionary;
    // a property list that cannot be read whole (damaged, over a limit,
    // holding a value with no exact counterpart) is left byte for byte and
    // the result is false, where the platform would overwrite any file it
    // could not read. With no clearPath and no readable file there is
    // nothing to store: nothing is written and the result is false.
    // Returns whether the file was written.
    bool savePath() const;

    const std::optional<std::string>& clearIdentifier() const { return _clearIdentifier; }
    void setClearIdentifier(std::optional<std::string> clearIdentifier) {
        _clearIdentifier = std::move(clearIdentifier);
    }
    const std::optional<std::string>& clearPath() const { return _clearPath; }
    void setClearPath(std::optional<std::string> clearPath) { _clearPath = std::move(clearPath); }

private:
    VLDynamicReader() = default;

    std::optional<std::string> _clearIdentifier;
    std::optional<std::string> _clearPath;
};
