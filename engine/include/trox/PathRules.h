// The path rules of the engine and the programs, all lexical (the file system is never asked):
// how a local path is made absolute and folded, the forms that local and remote folders are kept
// in, how a name joins its folder, which paths lie below a folder, and the extension rule of the
// selection and permission lists. Local and remote paths both use "/"; a name in a remote
// listing may hold "\" too.
#pragma once

#include <string>

// ---- Local paths ----

// The process's current directory; "" when it cannot be had.
std::string CurrentDirectory();
// An absolute path with "." and ".." folded and runs of "/" joined; ".." at the root stays at the
// root. "/" and the parts, so never a trailing "/"; "/" when no part is left.
std::string FoldPath(const std::string& absolutePath);
// The absolute form of a "/" path with "." and ".." folded lexically and repeated separators
// joined; no symbolic link is resolved. A relative path is taken against the current directory.
std::string NormalizeLocalPath(const std::string& path);
// NormalizeLocalPath's form, with a trailing "/" kept when the text has one (the root is "/").
// An empty text names the current directory. "" when the current directory cannot be had or the
// result would not fit in PATH_MAX.
std::string AbsoluteLocalPath(const std::string& text);
// The working form of a local folder: no trailing "/", so the root "/" becomes "", as a drive
// root loses its separator; JoinPath(folder, name) then always forms a valid path.
std::string LocalFolderForm(std::string folder);
// Whether path lies strictly below folder, both compared in their normalised forms. The folder ""
// stands for the root "/".
bool IsLocalPathInside(const std::string& path, const std::string& folder);

// ---- Joins ----

// The folder as the start of its entries' paths, ending in one "/": "a" and "a/" give "a/", and
// "" (the root in a folder's working form) gives "/".
std::string FolderPrefix(const std::string& folder);
// FolderPrefix(folder) and the name.
std::string JoinPath(const std::string& folder, const std::string& name);
// Whether path starts with prefix and has more after it.
bool StartsBelow(const std::string& path, const std::string& prefix);
// The part of a path before its last "/" ("" when it has none), and the part after it (the whole
// path when it has none).
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);
// What follows the folder and its "/" in a path that a walk of the folder gave; "" when nothing
// does.
std::string PathBelow(const std::string& path, const std::string& folder);

// ---- Remote paths ----

// The remote folder of a SERVERPATH text: backslashes become "/", and only one trailing "/" goes:
// "/" stays the root, "a//" keeps one.
std::string ServerPathFolder(const std::string& text);
// Without its trailing "/"s; the root "/" stays.
std::string WithoutTrailingSlashes(std::string path);
// Every run of "/" becomes one "/"; backslashes stay.
void CollapseSlashes(std::string& path);
// A folder path as the remote walk keeps it: single slashes, no trailing one but the root's.
std::string RemoteFolderForm(std::string folder);
// Whether a listed name holds ".." as a whole component ("/" or "\" separated), or is "..".
bool HasDotDotComponent(const std::string& name);

// ---- Rules by extension ----

// The suffix test of the selection and permission rules: a pattern with a "." loses its first
// character ("*.html" -> ".html"); it matches when the path ends with it, ASCII case ignored (so
// a UTF-8 suffix matches only itself).
bool ExtensionRuleMatches(const std::string& path, const std::string& extension);
