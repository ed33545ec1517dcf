// The unit that compiles the tests' shared precompiled header; it has nothing of its own.
