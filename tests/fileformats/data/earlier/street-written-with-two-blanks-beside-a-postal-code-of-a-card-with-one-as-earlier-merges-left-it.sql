INSERT INTO contact VALUES(1,'','Ann Lee');
INSERT INTO data VALUES(1,1,1,'','Ann Lee','Ann','Lee','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,12,1,'','1 Main St'||char(10)||'12345','1','','1 Main  St','','','','','12345','','','','','',NULL);
INSERT INTO contact VALUES(2,'','Ben Lee');
INSERT INTO data VALUES(3,1,2,'','Ben Lee','Ben','Lee','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(4,12,2,'','9 Dock Rd'||char(10)||'99999'||char(10)||'UK','2','','9 Dock'||char(9)||'Rd','','','','','99999','UK','','','','',NULL);
INSERT INTO contact VALUES(3,'','Cy Lee');
INSERT INTO data VALUES(5,1,3,'','Cy Lee','Cy','Lee','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(6,12,3,'','1 Main  St','1','','1 Main  St','','','','','12345','','','','','',NULL);
