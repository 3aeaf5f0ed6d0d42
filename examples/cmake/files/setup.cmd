@echo off
rem The setup program of the example package: it only says so.
echo Acme tools 2.1 are set up.
