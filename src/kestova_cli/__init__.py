"""The `kestova` command: compresses recordings to Kestova files and back."""
