#include "sync/pass.h"

#include "output/console.h"
#include "scan/path_text.h"

bool ExtendPath(WalkSide& side, const wchar_t* name) {
  std::wstring extended;
  if (!CombinePath(&extended, side.Path, name))
    return false;
  side.Lengths.push_back(side.Path.size());
  side.Path.swap(extended);
  return true;
}

bool ExtendPathPair(Pass& pass, const wchar_t* name) {
  std::wstring source, destination;
  if (!CombinePath(&source, pass.Source.Path, name) ||
      !CombinePath(&destination, pass.Destination.Path, name))
    return false;
  pass.Source.Lengths.push_back(pass.Source.Path.size());
  pass.Source.Path.swap(source);
  pass.Destination.Lengths.push_back(pass.Destination.Path.size());
  pass.Destination.Path.swap(destination);
  return true;
}

void StripPath(WalkSide& side) {
  side.Path.resize(side.Lengths.back());
  side.Lengths.pop_back();
}

bool EnterSideDirectory(WalkSide& side, const wchar_t* name, bool followLink) {
  OpenDirectory child;
  if (!OpenChildDirectory(side.Directory(), name, followLink, &child)) {
    ReportSystemError(L"Unable to browse directory %s", side.Path.c_str());
    return false;
  }
  side.Levels.push_back(std::move(child));
  return true;
}
