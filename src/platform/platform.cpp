// Operating-system services used by the core.
