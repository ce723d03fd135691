"""The one error kind the command reports as a plain line with exit status 2."""


class UserError(Exception):
    """A problem with the user's input, options or files, told in one line."""
