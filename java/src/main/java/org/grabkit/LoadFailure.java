package org.grabkit;

import java.nio.file.Path;

/**
 * A producer file, or an entry of a path list, that could not be loaded.
 *
 * @param path the file or entry
 * @param message why, in the loader's or the producer's words
 */
public record LoadFailure(Path path, String message) {}
