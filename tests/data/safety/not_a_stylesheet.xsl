<?xml version="1.0"?>
<html><body>well-formed, but no stylesheet</body></html>
