# The one place the program's version is set: the Windows version resource and
# the Linux build's compiled-in version text are both made from these values.
set(FETCHLET_VERSION_MAJOR 25)
set(FETCHLET_VERSION_MINOR 4)
set(FETCHLET_VERSION_PATCH 15)
set(FETCHLET_VERSION_BUILD 19)
# Distribution tag, carried as the resource's OriginalFilename.
set(FETCHLET_VERSION_TAG "rl")
