"""Side-by-side comparison of Kestova with the lossy compressors a user would pick instead."""
