// favload: imports the user's browser bookmarks as favourites.
#include <cstdio>

#include "favload/importer.h"

int main() { return favload::RunFavload(stdin, stdout); }
