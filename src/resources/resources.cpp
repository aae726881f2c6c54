// The resources themselves are compiled in by the build; this library only carries them.
